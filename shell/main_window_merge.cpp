// The merge from the toolbar: the inputs and the output chosen in two file
// dialogs, then the merge behind its progress dialog while the window's loop
// goes on; the run's tick and page texts wait for its end.

#include <QFileDialog>

#include "platform/file_names.h"
#include "platform/icu_line_collation.h"
#include "shell/background_merge.h"
#include "shell/error_handler.h"
#include "shell/file_dialogs.h"
#include "shell/main_window.h"
#include "tools/merge_data_files.h"

namespace shell {
namespace {

const QString kDataFileFilters = QStringLiteral("文本文件(*.txt);;所有文件(*.*)");

}  // namespace

void MainWindow::MergeDataFiles() {
  FileDialog openDialog(this, "MergeInputsDialog", QStringLiteral("选择待合并的数据文件"),
                        kDataFileFilters);
  openDialog.setFileMode(QFileDialog::ExistingFiles);
  openDialog.setDefaultSuffix(QStringLiteral("txt"));
  if (!lastMergeInput_.isEmpty()) openDialog.selectFile(lastMergeInput_);
  const QStringList selected = openDialog.ChooseFiles();
  if (selected.isEmpty()) return;
  lastMergeInput_ = selected.value(0);

  FileDialog saveDialog(this, "MergeOutputDialog", QStringLiteral("合并后的数据文件保存为"),
                        kDataFileFilters);
  saveDialog.setDefaultSuffix(QStringLiteral("txt"));
  if (!lastMergeOutput_.isEmpty()) saveDialog.selectFile(lastMergeOutput_);
  const QString output = saveDialog.ChooseSaveFile();
  if (output.isEmpty()) return;
  lastMergeOutput_ = output;

  SetStatusLine(QStringLiteral("数据正处理中..."));
  repaint();
  std::vector<harvest::FilePath> inputs;
  for (const QString& file : selected) inputs.push_back(platform::ToFilePath(file));
  const harvest::FilePath target = platform::ToFilePath(output);
  auto collation =
      std::make_shared<platform::IcuLineCollation>(platform::IcuLineCollation::UserLocale());
  auto count = std::make_shared<std::optional<std::int64_t>>();
  // The merge's thread owns what it reads; the count comes back through
  // `count` once it has ended.
  auto work = [inputs, target, collation, count](const tools::MergeProgressFunction& progress) {
    tools::MergeOptions options;
    options.progress = progress;
    options.sorted = [count](std::int64_t lines) { *count = lines; };
    tools::MergeDataFiles(inputs, target, *collation, options);
  };
  // The tray takes no clicks while the merge runs.
  const bool trayEnabled = trayIcon_->Enabled();
  trayIcon_->SetEnabled(false);
  merge_ = new BackgroundMerge(this, work, [this, count, trayEnabled](std::exception_ptr error) {
    trayIcon_->SetEnabled(trayEnabled);
    MergeEnded(*count, error);
  });
}

void MainWindow::MergeEnded(std::optional<std::int64_t> count, std::exception_ptr error) {
  merge_->deleteLater();
  merge_ = nullptr;
  if (count) SetStatusLine(QStringLiteral("文件合并整理完毕！共计：") + QString::number(*count));
  if (error) HandleException(error);
  // What came for the run meanwhile, in its order (a page's text comes only
  // while the timer is off), then the close question.
  for (const auto& carryOn : std::exchange(pageTexts_, {})) carryOn();
  if (std::exchange(tickDue_, false)) OnTimerTick();
  CloseIfWaiting();
}

}  // namespace shell
