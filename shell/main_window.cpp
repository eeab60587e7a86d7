#include "shell/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <optional>
#include <utility>

#include "harvest/file_stream.h"
#include "harvest/text.h"
#include "harvest/text_file.h"
#include "platform/file_names.h"
#include "platform/gbk_codec.h"
#include "platform/icu_line_collation.h"
#include "platform/interface_addresses.h"
#include "platform/qt_notification_icon.h"
#include "platform/url_opener.h"
#include "platform/web_engine_browser.h"
#include "shell/branding.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"
#include "shell/file_dialogs.h"
#include "shell/merge_progress.h"
#include "shell/result_list_model.h"
#include "tools/merge_data_files.h"

namespace shell {
namespace {

constexpr int kTimerIntervalAtCreation = 8000;
const QString kTextFileFilters = QStringLiteral("Text files(*.txt);;All files(*.*)");

const QString kDataFileFilters = QStringLiteral("文本文件(*.txt);;所有文件(*.*)");

// The busy cursor (an arrow with an hourglass) for as long as it lives.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// Runs `done` when it goes out of scope, however the scope ends.
template <typename Done>
class ScopeExit {
 public:
  explicit ScopeExit(Done done) : done_(std::move(done)) {}
  ~ScopeExit() { done_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Done done_;
};

}  // namespace

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
  if (!options_.makeBrowser) {
    options_.makeBrowser = [](QWidget* p) {
      return std::make_unique<platform::WebEngineBrowser>(p);
    };
  }
  if (!options_.addresses) options_.addresses = std::make_unique<platform::InterfaceAddresses>();
  notificationIcon_ = options_.notificationIcon ? std::move(options_.notificationIcon)
                                                : std::make_unique<platform::QtNotificationIcon>();

  BuildToolbar();
  setCentralWidget(BuildCentralArea());
  BuildStatusBar();
  BuildTrayIcon();
  searchTimer_ =
      std::make_unique<platform::QtRunTimer>(kTimerIntervalAtCreation, [this] { OnTimerTick(); });
  run_ = std::make_unique<harvest::SearchRun>(
      harvest::SearchPorts{*this, *browser_, *searchTimer_, *options_.addresses, *this}, results_,
      options_.queryPrefix);
  RestoreProgress();
}

MainWindow::~MainWindow() {
  // The members go before the child widgets do, so whatever points into a
  // member goes first: the tray icon before its platform icon, the result
  // model before the engine's result list.
  trayIcon_.reset();
  resultView_->setModel(nullptr);
  delete resultModel_;
}

void MainWindow::RestoreProgress() {
  appDir_ = options_.appDir ? *options_.appDir : platform::ChooseAppDir();
  // The progress file's errors are shown before the window first shows;
  // the window opens as usual either way.
  Guarded([this] { harvest::RestoreProgressFile(ProgressFilePath(), *this); });
}

harvest::FilePath MainWindow::ProgressFilePath() const {
  return appDir_.Child(harvest::kProgressFileName);
}

// --- commands ---------------------------------------------------------------

void MainWindow::ImportKeywords() {
  FileDialog dialog(this, "ImportKeywordsDialog", QStringLiteral("导入关键字列表文件"), kTextFileFilters,
                    platform::FromGbk(appDir_.text));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  const QString chosen = dialog.ChooseFiles().value(0);
  if (chosen.isEmpty()) return;

  const harvest::FilePath file = platform::ToFilePath(chosen);
  SetKeywordFileText(file.text);
  repaint();
  SetPanelText(harvest::kPanelKeywordCount, harvest::IntToStr(harvest::CountTextFileLines(file)));
  run_->KeywordList() = harvest::LoadListFromFile(file);
  results_.Clear();
}

void MainWindow::StartSearch() {
  run_->Start();
}
void MainWindow::StopSearch() {
  run_->Stop();
}
void MainWindow::OnTimerTick() {
  // A merge runs to its end first, as if it held the thread.
  if (merging_) {
    tickAfterMerge_ = true;
    return;
  }
  tickAfterMerge_ = false;
  tickRunning_ = true;
  Guarded([this] { run_->Tick(); });
  tickRunning_ = false;
  resultModel_->ShowNewRows();
  if (std::exchange(closeAfterTick_, false)) close();
}

void MainWindow::SaveResults() {
  FileDialog dialog(this, "SaveResultsDialog", QStringLiteral("搜索结果保存为"), kTextFileFilters);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  const QString chosen = dialog.ChooseSaveFile();
  if (chosen.isEmpty()) return;
  // One number per line; the old file stays whole until the new one is.
  harvest::SaveListToFile(platform::ToFilePath(chosen), results_.Rows());
}

void MainWindow::SaveProgress() {
  WriteProgress();
  shell::ShowMessage(this, QStringLiteral("已经保存当前手机号码搜索进程！"));
}

void MainWindow::MergeDataFiles() {
  FileDialog openDialog(this, "MergeInputsDialog", QStringLiteral("选择待合并的数据文件"), kDataFileFilters);
  openDialog.setFileMode(QFileDialog::ExistingFiles);
  openDialog.setDefaultSuffix(QStringLiteral("txt"));
  if (!lastMergeInput_.isEmpty()) openDialog.selectFile(lastMergeInput_);
  const QStringList selected = openDialog.ChooseFiles();
  if (selected.isEmpty()) return;
  lastMergeInput_ = selected.value(0);

  FileDialog saveDialog(this, "MergeOutputDialog", QStringLiteral("合并后的数据文件保存为"), kDataFileFilters);
  saveDialog.setDefaultSuffix(QStringLiteral("txt"));
  if (!lastMergeOutput_.isEmpty()) saveDialog.selectFile(lastMergeOutput_);
  const QString output = saveDialog.ChooseSaveFile();
  if (output.isEmpty()) return;
  lastMergeOutput_ = output;

  // From here to the end the window takes no input: the merge runs on a
  // thread of its own behind a modal progress dialog while the window keeps
  // painting; the tray takes no clicks, and a tick of the run that falls
  // due meanwhile comes after the merge.
  BusyCursor busy;
  SetStatusLine(QStringLiteral("数据正处理中..."));
  repaint();
  std::vector<harvest::FilePath> inputs;
  for (const QString& file : selected) inputs.push_back(platform::ToFilePath(file));
  const harvest::FilePath target = platform::ToFilePath(output);
  platform::IcuLineCollation collation(platform::IcuLineCollation::UserLocale());
  std::optional<std::int64_t> count;
  std::exception_ptr error;
  {
    const bool trayEnabled = trayIcon_->Enabled();
    trayIcon_->SetEnabled(false);
    merging_ = true;
    const ScopeExit ended([&] {
      merging_ = false;
      trayIcon_->SetEnabled(trayEnabled);
      if (tickAfterMerge_) {
        QTimer::singleShot(0, this, [this] {
          if (std::exchange(tickAfterMerge_, false)) OnTimerTick();
        });
      }
    });
    error = RunBehindProgressDialog(this, [&](const tools::MergeProgressFunction& progress) {
      tools::MergeOptions options;
      options.progress = progress;
      options.sorted = [&count](std::int64_t lines) { count = lines; };
      tools::MergeDataFiles(inputs, target, collation, options);
    });
  }
  if (count) SetStatusLine(QStringLiteral("文件合并整理完毕！共计：") + QString::number(*count));
  if (error) std::rethrow_exception(error);
}

void MainWindow::OpenHomePage() {
  platform::OpenUrl(HomePage());
}

void MainWindow::ShowAbout() {
  if (aboutBox_) RunDialog(*aboutBox_);
}

void MainWindow::ExitProgram() {
  close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Reading a page runs a local event loop that lets a close from the window
  // manager through; it is asked about once the tick is over.
  if (tickRunning_) {
    closeAfterTick_ = true;
    event->ignore();
    return;
  }
  harvest::MsgDlgBtn answer = harvest::MsgDlgBtn::No;
  Guarded([&] {
    answer = shell::MessageDlg(this, QStringLiteral("确认退出Kelvane吗?"),
                               harvest::MsgDlgType::Confirmation,
                               {harvest::MsgDlgBtn::Yes, harvest::MsgDlgBtn::No});
  });
  if (answer == harvest::MsgDlgBtn::Yes) {
    event->accept();
    Q_EMIT Closed();
  } else {
    event->ignore();
  }
}

// --- the engine's view of the window ------------------------------------------

void MainWindow::SetPanelText(int panel, const std::string& text) {
  statusPanels_.at(static_cast<std::size_t>(panel))->setText(platform::FromGbk(text));
}

void MainWindow::SetStatusLine(const QString& text) {
  statusPanels_[harvest::kPanelStatus]->setText(text);
}

bool MainWindow::DeduplicateChecked() const {
  return dedupeBox_->isChecked();
}

std::string MainWindow::IntervalText() const {
  return platform::ToGbk(intervalBox_->text());
}

void MainWindow::SetRunCommands(bool running) {
  searchButton_->setEnabled(!running);
  importButton_->setEnabled(!running);
  stopButton_->setEnabled(running);
}

bool MainWindow::InputQuery(const std::string& caption, const std::string& prompt,
                            std::string& value) {
  QString text = platform::FromGbk(value);
  if (!shell::InputQuery(this, platform::FromGbk(caption), platform::FromGbk(prompt), text))
    return false;
  value = platform::ToGbk(text);
  return true;
}

void MainWindow::ShowMessage(const std::string& text) {
  shell::ShowMessage(this, platform::FromGbk(text));
}

harvest::MsgDlgBtn MainWindow::MessageDlg(const std::string& text, harvest::MsgDlgType type,
                                          std::initializer_list<harvest::MsgDlgBtn> buttons) {
  return shell::MessageDlg(this, platform::FromGbk(text), type, buttons);
}

void MainWindow::Repaint() {
  repaint();
}

// --- the progress file --------------------------------------------------------

void MainWindow::WriteProgress() {
  harvest::ProgressRecord record;
  record.keywordFile = keywordFileText_;
  record.keywordIndex = run_->KeywordIndex();
  record.deduplicate = dedupeBox_->isChecked();
  record.intervalSeconds = harvest::StrToIntDef(IntervalText(), 1);
  harvest::WriteProgressFile(ProgressFilePath(), record);
}

void MainWindow::SetKeywordFileText(const std::string& gbk) {
  keywordFileText_ = gbk;
  keywordFileEdit_->setText(platform::FromGbk(gbk));
}

void MainWindow::RestoreKeywordFile(const std::string& path) {
  SetKeywordFileText(path);
}
void MainWindow::RestoreKeywordIndex(int index) {
  run_->SetKeywordIndex(index);
}
void MainWindow::RestoreDeduplicate(bool on) {
  dedupeBox_->setChecked(on);
}
void MainWindow::RestoreInterval(int seconds) {
  intervalBox_->setValue(seconds);
}

}  // namespace shell
