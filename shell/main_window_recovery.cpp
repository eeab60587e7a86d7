// The recovery record as the window keeps it: offered back at start, kept
// after each step of the run and each command that changes the list or the
// run's place, told about once when it cannot be written, removed at an
// ordinary end, kept when the program ends at once.

#include <QCheckBox>
#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>

#include "harvest/text.h"
#include "platform/gbk_codec.h"
#include "shell/dialogs.h"
#include "shell/main_window.h"
#include "shell/result_list_model.h"

namespace shell {
namespace {

// How long after a part is handed over its write is surely done or failed.
constexpr int kRecordCheckMs = 1500;

}  // namespace

void MainWindow::OpenRecoveryRecord() {
  recordCheck_ = new QTimer(this);
  recordCheck_->setSingleShot(true);
  recordCheck_->setInterval(kRecordCheckMs);
  connect(recordCheck_, &QTimer::timeout, this, &MainWindow::TellRecordFailure);

  recovery_ =
      std::make_unique<harvest::RecoveryRecord>(appDir_.Child(harvest::kRecoveryFileName).native);
  if (!recovery_->Held()) {
    if (const auto failure = recovery_->TakeFailure()) {
      ShowRecordFailure(*failure);
    } else {
      shell::ShowPlainMessage(this, QStringLiteral("另一个正在运行的Kelvane在使用恢复记录，"
                                                   "本程序这次不保存恢复记录。"));
    }
    recovery_.reset();
    return;
  }
  // Only numbers are worth a question; the place alone is in the progress
  // file as of the last run that finished.
  const harvest::RecoveredRun found = recovery_->Read();
  if (!found.rows.empty()) {
    const auto answer = shell::ShowTypedDialog(
        this,
        QStringLiteral("上次的搜索没有正常结束。是否恢复当时找到的%1个手机号码？")
            .arg(found.rows.size()),
        harvest::DialogKind::Confirmation, {harvest::DialogButton::Yes, harvest::DialogButton::No});
    if (answer == harvest::DialogButton::Yes) Restore(found);
  }
  // What the record holds from here on: the restored run, or nothing.
  recovery_->Restart(results_, CurrentPlace());
  TellRecordFailure();
}

void MainWindow::Restore(const harvest::RecoveredRun& found) {
  for (const std::string& row : found.rows) results_.Append(row);
  resultModel_->ShowNewRows();
  run_->SetFoundCount(found.place.foundCount);
  SetPanelText(harvest::kPanelFound, harvest::DecimalText(found.place.foundCount));
  // As the progress file would have it had the run finished: the resume
  // prompt offers the keyword that was being searched.
  run_->SetKeywordIndex(found.place.resumePoint);
  SetKeywordFileText(found.place.keywordFile);
  dedupeBox_->setChecked(found.place.deduplicate);
}

harvest::RunPlace MainWindow::CurrentPlace() const {
  return {run_->ResumePoint(), run_->FoundCount(), keywordFileText_, dedupeBox_->isChecked()};
}

void MainWindow::KeepRecord() {
  if (!recovery_) return;
  recovery_->Keep(results_, CurrentPlace());
  TellRecordFailure();
  recordCheck_->start();  // the write of this part is told about a moment later
}

void MainWindow::TellRecordFailure() {
  if (!recovery_) return;
  if (const auto failure = recovery_->TakeFailure()) ShowRecordFailure(*failure);
}

void MainWindow::ShowRecordFailure(const std::string& failure) {
  shell::ShowPlainMessage(
      this, QStringLiteral("无法保存恢复记录（%1）。搜索继续进行，但不再保存恢复记录。")
                .arg(platform::FromGbk(failure)));
}

void MainWindow::EndAtOnce(int status) {
  if (recovery_) recovery_->Flush();
  // The merge's thread can neither be stopped half-way nor waited for in
  // time; the process ends under it.
  if (merge_) std::_Exit(status);
  QCoreApplication::exit(status);
}

}  // namespace shell
