#include "shell/main_window.h"

#include <QAccessible>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeView>

#include "harvest/file_stream.h"
#include "harvest/text.h"
#include "harvest/text_file.h"
#include "platform/file_names.h"
#include "platform/freed_memory.h"
#include "platform/gbk_codec.h"
#include "platform/interface_addresses.h"
#include "platform/qt_notification_icon.h"
#include "platform/url_opener.h"
#include "platform/web_engine_browser.h"
#include "shell/background_merge.h"
#include "shell/branding.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"
#include "shell/file_dialogs.h"
#include "shell/result_list_model.h"

namespace shell {
namespace {

constexpr int kTimerIntervalAtCreation = 8000;

// A panel's new text, and word of it to assistive technology, which reads
// the panel's text as its name (Qt's label does not announce the change).
void ShowInPanel(QLabel& panel, const QString& text) {
  if (panel.text() == text) return;
  panel.setText(text);
  QAccessibleEvent changed(&panel, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
}
const QString kTextFileFilters = QStringLiteral("Text files(*.txt);;All files(*.*)");

}  // namespace

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
  if (!options_.makeBrowser) {
    options_.makeBrowser = [](QWidget* p) {
      return std::make_unique<platform::WebEngineBrowser>(p);
    };
  }
  if (!options_.addresses) options_.addresses = std::make_unique<platform::InterfaceAddresses>();
  if (!options_.returnFreedMemory) options_.returnFreedMemory = platform::ReturnFreedMemory;
  notificationIcon_ = options_.notificationIcon ? std::move(options_.notificationIcon)
                                                : std::make_unique<platform::QtNotificationIcon>();

  BuildToolbar();
  setCentralWidget(BuildCentralArea());
  BuildStatusBar();
  BuildTrayIcon();
  searchTimer_ =
      std::make_unique<platform::QtRunTimer>(kTimerIntervalAtCreation, [this] { OnTimerTick(); });
  run_ = std::make_unique<harvest::SearchRun>(
      harvest::SearchPorts{*this, *this, *searchTimer_, *options_.addresses, *this}, results_,
      options_.queryPrefix);
  RestoreProgress();
  Guarded([this] { OpenRecoveryRecord(); });
}

MainWindow::~MainWindow() {
  // A merge still running (the window destroyed without its close question)
  // is waited for while its dialog's parent is still here.
  delete merge_;
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
  SetPanelText(harvest::kPanelKeywordCount,
               harvest::DecimalText(harvest::CountTextFileLines(file)));
  run_->KeywordList() = harvest::LoadLines(file);
  results_.Clear();
  KeepRecord();
}

void MainWindow::SaveResults() {
  FileDialog dialog(this, "SaveResultsDialog", QStringLiteral("搜索结果保存为"), kTextFileFilters);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  const QString chosen = dialog.ChooseSaveFile();
  if (chosen.isEmpty()) return;
  // One number per line; the old file stays whole until the new one is.
  harvest::SaveLines(platform::ToFilePath(chosen), results_.Rows());
}

void MainWindow::SaveProgress() {
  WriteProgress();
  shell::ShowPlainMessage(this, QStringLiteral("已经保存当前手机号码搜索进程！"));
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

void MainWindow::showEvent(QShowEvent* event) {
  // The keyboard's focus shows from the first moment, not only after the
  // first key press (Qt clears the mark when the window is made).
  setAttribute(Qt::WA_KeyboardFocusChange);
  QMainWindow::showEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A close from the window manager comes whatever the window is doing; in
  // the middle of a page or a merge it is asked about once they are over.
  if (Busy()) {
    closeWaiting_ = true;
    event->ignore();
    return;
  }
  harvest::DialogButton answer = harvest::DialogButton::No;
  Guarded([&] {
    answer = shell::ShowTypedDialog(this, QStringLiteral("确认退出Kelvane吗?"),
                                    harvest::DialogKind::Confirmation,
                                    {harvest::DialogButton::Yes, harvest::DialogButton::No});
  });
  if (answer == harvest::DialogButton::Yes) {
    event->accept();
    // An ordinary end: nothing to offer back at the next start.
    if (recovery_) recovery_->Remove();
    Q_EMIT Closed();
  } else {
    event->ignore();
  }
}

// --- the engine's view of the window ------------------------------------------

void MainWindow::SetPanelText(int panel, const std::string& text) {
  ShowInPanel(*statusPanels_.at(static_cast<std::size_t>(panel)), platform::FromGbk(text));
}

void MainWindow::SetStatusLine(const QString& text) {
  ShowInPanel(*statusPanels_[harvest::kPanelStatus], text);
}

bool MainWindow::DeduplicateChecked() const {
  return dedupeBox_->isChecked();
}

std::string MainWindow::IntervalText() const {
  return platform::ToGbk(intervalBox_->text());
}

void MainWindow::SetRunCommands(bool running) {
  searchAction_->setEnabled(!running);
  importAction_->setEnabled(!running);
  stopAction_->setEnabled(running);
}

bool MainWindow::AskForText(const std::string& caption, const std::string& prompt,
                            std::string& value) {
  QString text = platform::FromGbk(value);
  if (!shell::AskForText(this, platform::FromGbk(caption), platform::FromGbk(prompt), text))
    return false;
  value = platform::ToGbk(text);
  return true;
}

void MainWindow::ShowPlainMessage(const std::string& text) {
  shell::ShowPlainMessage(this, platform::FromGbk(text));
}

harvest::DialogButton MainWindow::ShowTypedDialog(
    const std::string& text, harvest::DialogKind type,
    std::initializer_list<harvest::DialogButton> buttons) {
  return shell::ShowTypedDialog(this, platform::FromGbk(text), type, buttons);
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
  record.intervalSeconds = harvest::ParseIntegerOr(IntervalText(), 1);
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
