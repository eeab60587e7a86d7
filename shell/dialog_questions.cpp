#include "shell/dialog_questions.h"

#include "platform/gbk_codec.h"
#include "shell/dialogs.h"

namespace shell {
namespace {

QString RefusalWords(harvest::RefusalReason reason) {
  switch (reason) {
    case harvest::RefusalReason::kSymbolicLink:
      return DialogQuestions::tr("它是符号链接");
    case harvest::RefusalReason::kNotARegularFile:
      return DialogQuestions::tr("它不是普通文件");
    case harvest::RefusalReason::kOwnedByAnotherUser:
      return DialogQuestions::tr("它属于其他用户");
    case harvest::RefusalReason::kHasOtherLinks:
      return DialogQuestions::tr("它还有其他名字（硬链接）");
    case harvest::RefusalReason::kOtherVersion:
      return DialogQuestions::tr("它是其他版本的恢复记录");
    case harvest::RefusalReason::kNotARecord:
      return DialogQuestions::tr("它不是恢复记录");
  }
  return {};
}

}  // namespace

void DialogQuestions::AskResumePoint(int offered, ResumeAnswer answer) {
  // The prompt ends in eight spaces, which keep the dialog wide.
  AskForTextLater(parent_, tr("搜索参数设置"), tr("请输入关键字搜索断点位置        "),
                  QString::number(offered), std::move(answer));
}

session::SessionQuestions::RestoreAnswer DialogQuestions::AskToRestore(
    const harvest::RecoveredRun& found) {
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

void DialogQuestions::Tell(harvest::RunMessage message) {
  switch (message) {
    case harvest::RunMessage::kNotConnected:
      OpenTypedMessage(parent_, tr("您还没有连接到网上！"), DialogKind::Information);
      return;
    case harvest::RunMessage::kResumeBeyondList:
      OpenPlainMessage(parent_, tr("搜索断点位置超过关键字文件行数！"));
      return;
  }
}

void DialogQuestions::TellRecordNotKept(const session::RecordNotice& notice) {
  switch (notice.kind) {
    case session::RecordNotice::Kind::kKeptForLater:
      OpenPlainMessage(parent_, tr("上次的搜索记录留到下次启动时再问；本次运行不保存恢复记录。"));
      return;
    case session::RecordNotice::Kind::kRefused:
      OpenPlainMessage(parent_,
                       tr("无法使用恢复记录%1：%2。本程序不改动这个文件，这次也不保存恢复记录。")
                           .arg(notice.path, RefusalWords(notice.refusal)));
      return;
    case session::RecordNotice::Kind::kShared:
      OpenPlainMessage(parent_,
                       tr("另一个正在运行的Kelvane在使用恢复记录，本程序这次不保存恢复记录。"));
      return;
    case session::RecordNotice::Kind::kMovedAside:
      // In one arg(): a path holding "%2" must stay as it is.
      OpenPlainMessage(parent_,
                       tr("无法读取恢复记录%1：%2。这个文件已改名为%3，内容未改动；"
                          "本次运行保存新的恢复记录。")
                           .arg(notice.path, RefusalWords(notice.refusal), notice.movedTo));
      return;
  }
}

void DialogQuestions::TellFileFailure(const session::FileFailure& failure) {
  if (failure.file == session::FileFailure::File::kRecord) {
    OpenPlainMessage(
        parent_,
        tr("无法保存恢复记录（%1）。搜索继续进行，但不再保存恢复记录。").arg(failure.reason));
    return;
  }
  OpenPlainMessage(
      parent_,
      tr("无法写入本次搜索的运行记录%1（%2）。搜索继续进行。").arg(failure.path, failure.reason));
}

void DialogQuestions::TellContinueRefused(const QString& keywordFile) {
  OpenPlainMessage(
      parent_, tr("关键字文件%1已不存在或已改动，无法从中断处继续。请导入关键字文件后重新搜索。")
                   .arg(keywordFile));
}

void DialogQuestions::TellRunFileReplaced(const QString& oldFile, const QString& newFile) {
  OpenPlainMessage(
      parent_, tr("号码文件%1在中断后被改动或替换，本程序不再写入它。继续搜索的号码写入新文件%2。")
                   .arg(oldFile, newFile));
}

void DialogQuestions::TellNumbersUnwritten(int count, bool inRecord, const QString& runFile) {
  const QString where =
      inRecord
          ? tr("它们保存在恢复记录中：腾出磁盘空间后，下次启动本程序时选择恢复，即写入号码文件。")
          : tr("恢复记录也无法写入，它们只在本程序中：请先腾出磁盘空间，再开始新的搜索，"
               "之前不要退出本程序。");
  OpenPlainMessage(parent_, tr("有 %1 个号码没能写入号码文件%2（磁盘已满或文件不可写）。")
                                    .arg(QString::number(count), runFile) +
                                where);
}

}  // namespace shell
