#include "shell/dialog_prompts.h"

#include "platform/gbk_codec.h"
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
      ShowTypedDialog(parent_, tr("您还没有连接到网上！"), DialogKind::Information,
                      {DialogButton::OK});
      return;
    case harvest::RunMessage::kResumeBeyondList:
      ShowPlainMessage(parent_, tr("搜索断点位置超过关键字文件行数！"));
      return;
  }
}

SessionPrompts::RestoreAnswer DialogPrompts::AskToRestore(const harvest::RecoveredRun& found) {
  const QString question =
      found.rows.empty()
          ? tr("上次的搜索没有正常结束。是否恢复当时的搜索断点（搜索文件：%1，断点位置：%2）？")
                .arg(platform::FromGbk(found.place.keywordFile),
                     QString::number(found.place.resumePoint))
          : tr("上次的搜索没有正常结束。是否恢复当时找到的%1个手机号码？").arg(found.rows.size());
  // Only "否" discards: Esc or the close box leave the question for later.
  switch (ShowTypedQuestion(parent_, question, DialogKind::Confirmation,
                            {DialogButton::Yes, DialogButton::No})
              .value_or(DialogButton::Cancel)) {
    case DialogButton::Yes:
      return RestoreAnswer::kRestore;
    case DialogButton::No:
      return RestoreAnswer::kDiscard;
    default:
      return RestoreAnswer::kLater;
  }
}

void DialogPrompts::TellRecordKeptForLater() {
  ShowPlainMessage(parent_, tr("上次的搜索记录留到下次启动时再问；本次运行不保存恢复记录。"));
}

void DialogPrompts::TellRecordRefused(const QString& path, harvest::RefusalReason reason) {
  QString why;
  switch (reason) {
    case harvest::RefusalReason::kSymbolicLink:
      why = tr("它是符号链接");
      break;
    case harvest::RefusalReason::kNotARegularFile:
      why = tr("它不是普通文件");
      break;
    case harvest::RefusalReason::kOwnedByAnotherUser:
      why = tr("它属于其他用户");
      break;
    case harvest::RefusalReason::kHasOtherLinks:
      why = tr("它还有其他名字（硬链接）");
      break;
    case harvest::RefusalReason::kOtherVersion:
      why = tr("它是其他版本的恢复记录");
      break;
    case harvest::RefusalReason::kNotARecord:
      why = tr("它不是恢复记录");
      break;
  }
  ShowPlainMessage(
      parent_,
      tr("无法使用恢复记录%1：%2。本程序不改动这个文件，这次也不保存恢复记录。").arg(path, why));
}

void DialogPrompts::TellRecordShared() {
  ShowPlainMessage(parent_,
                   tr("另一个正在运行的Kelvane在使用恢复记录，本程序这次不保存恢复记录。"));
}

void DialogPrompts::TellRecordFailure(const QString& failure) {
  ShowPlainMessage(parent_,
                   tr("无法保存恢复记录（%1）。搜索继续进行，但不再保存恢复记录。").arg(failure));
}

void DialogPrompts::TellRunFileFailure(const QString& path, const QString& failure) {
  ShowPlainMessage(
      parent_,
      tr("无法写入本次搜索的号码文件%1（%2）。搜索继续进行，号码仍在列表中。").arg(path, failure));
}

}  // namespace shell
