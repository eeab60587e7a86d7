#include "shell/dialog_prompts.h"

#include "shell/dialogs.h"

namespace shell {

std::optional<QString> DialogPrompts::AskResumePoint(int offered) {
  QString answer = QString::number(offered);
  // The prompt ends in eight spaces, which keep the dialog wide.
  if (!AskForText(parent_, tr("搜索参数设置"), tr("请输入关键字搜索断点位置        "), answer)) {
    return {};
  }
  return answer;
}

void DialogPrompts::Tell(harvest::RunMessage message) {
  switch (message) {
    case harvest::RunMessage::kNotConnected:
      ShowTypedDialog(parent_, tr("您还没有连接到网上！"), DialogKind::Information, {DialogButton::OK});
      return;
    case harvest::RunMessage::kResumeBeyondList:
      ShowPlainMessage(parent_, tr("搜索断点位置超过关键字文件行数！"));
      return;
  }
}

bool DialogPrompts::AskToRestore(int numbers) {
  return ShowTypedDialog(parent_, tr("上次的搜索没有正常结束。是否恢复当时找到的%1个手机号码？").arg(numbers),
                         DialogKind::Confirmation, {DialogButton::Yes, DialogButton::No}) ==
         DialogButton::Yes;
}

void DialogPrompts::TellRecordShared() {
  ShowPlainMessage(parent_, tr("另一个正在运行的Kelvane在使用恢复记录，本程序这次不保存恢复记录。"));
}

void DialogPrompts::TellRecordFailure(const QString& failure) {
  ShowPlainMessage(parent_, tr("无法保存恢复记录（%1）。搜索继续进行，但不再保存恢复记录。").arg(failure));
}

}  // namespace shell
