#include "shell/Unit1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>

#include "harvest/file_stream.h"
#include "harvest/text.h"
#include "harvest/text_file.h"
#include "platform/file_names.h"
#include "platform/gbk_codec.h"
#include "platform/icu_line_collation.h"
#include "platform/interface_addresses.h"
#include "platform/qt_notification_area.h"
#include "platform/url_opener.h"
#include "platform/web_engine_browser.h"
#include "shell/branding.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"
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

// Runs a file dialog; the chosen path, or nothing when it was cancelled.
QString ChooseFile(QFileDialog& dialog) {
  if (RunDialog(dialog) != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

// A save dialog that asks before an existing file is replaced; "no" brings
// the dialog back. The question is one of the program's own dialogs.
QString ChooseSaveFile(QFileDialog& dialog) {
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  for (;;) {
    const QString chosen = ChooseFile(dialog);
    if (chosen.isEmpty() || !QFileInfo::exists(chosen)) return chosen;
    const QString question = QCoreApplication::translate("QFileDialog", "%1 already exists.\nDo you want to replace it?")
                                 .arg(QFileInfo(chosen).fileName());
    if (shell::MessageDlg(&dialog, question, harvest::MsgDlgType::Warning, {harvest::MsgDlgBtn::Yes, harvest::MsgDlgBtn::No}) ==
        harvest::MsgDlgBtn::Yes) {
      return chosen;
    }
    dialog.selectFile(chosen);
  }
}

}  // namespace

TForm1::TForm1(TForm1Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
  if (!options_.makeBrowser) {
    options_.makeBrowser = [](QWidget* p) { return std::make_unique<platform::WebEngineBrowser>(p); };
  }
  if (!options_.addresses) options_.addresses = std::make_unique<platform::InterfaceAddresses>();
  notificationArea_ = options_.notificationArea ? std::move(options_.notificationArea)
                                                : std::make_unique<platform::QtNotificationArea>();

  BuildToolbar();
  setCentralWidget(BuildCentralArea());
  BuildStatusBar();
  BuildTrayIcon();
  timer1_ = std::make_unique<platform::QtRunTimer>(kTimerIntervalAtCreation, [this] { Timer1Timer(); });
  run_ = std::make_unique<harvest::SearchRun>(
      harvest::SearchPorts{*this, *webBrowser1_, *timer1_, *options_.addresses, *this}, results_,
      options_.queryPrefix);
  FormCreate();
}

TForm1::~TForm1() {
  // The icon leaves the notification area before its area goes.
  antTaskbarIcon1_.reset();
}

void TForm1::FormCreate() {
  appDir_ = options_.appDir ? *options_.appDir : platform::ChooseAppDir();
  // The progress file's errors are shown before the window first shows;
  // the window opens as usual either way.
  Guarded([this] { harvest::RestoreProgressFile(ProgressFilePath(), *this); });
}

harvest::FilePath TForm1::ProgressFilePath() const { return appDir_.Child(harvest::kProgressFileName); }

// --- commands ---------------------------------------------------------------

void TForm1::SpeedButton4Click() {
  QFileDialog dialog(this, QStringLiteral("导入关键字列表文件"), platform::FromGbk(appDir_.text), kTextFileFilters);
  dialog.setObjectName(QStringLiteral("OpenDialog1"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  const QString chosen = ChooseFile(dialog);
  if (chosen.isEmpty()) return;

  const harvest::FilePath file = platform::ToFilePath(chosen);
  SetEdit5Text(file.text);
  repaint();
  SetPanelText(harvest::kPanelKeywordCount, harvest::IntToStr(harvest::CountTextFileLines(file)));
  run_->KeywordList() = harvest::LoadListFromFile(file);
  results_.Clear();
}

void TForm1::N2Click() { run_->Start(); }
void TForm1::N3Click() { run_->Stop(); }
void TForm1::Timer1Timer() { Guarded([this] { run_->Tick(); }); }
void TForm1::Button1Click() { run_->RequestPage(); }
void TForm1::BitBtn1Click() { run_->Finish(); }
void TForm1::ProcessPage() { run_->ProcessPage(); }

void TForm1::N5Click() {
  QFileDialog dialog(this, QStringLiteral("搜索结果保存为"), QString(), kTextFileFilters);
  dialog.setObjectName(QStringLiteral("SaveDialog1"));
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  const QString chosen = ChooseSaveFile(dialog);
  if (chosen.isEmpty()) return;
  // One number per line; the old file stays whole until the new one is.
  harvest::SaveListToFile(platform::ToFilePath(chosen), results_.Rows());
}

void TForm1::SpeedButton8Click() {
  WriteProgress();
  shell::ShowMessage(this, QStringLiteral("已经保存当前手机号码搜索进程！"));
}

void TForm1::SpeedButton1Click() {
  QFileDialog openDialog(this, QStringLiteral("选择待合并的数据文件"), QString(), kDataFileFilters);
  openDialog.setObjectName(QStringLiteral("OpenDialog8"));
  openDialog.setFileMode(QFileDialog::ExistingFiles);
  openDialog.setDefaultSuffix(QStringLiteral("txt"));
  if (!openDialog8Name_.isEmpty()) openDialog.selectFile(openDialog8Name_);
  if (RunDialog(openDialog) != QDialog::Accepted) return;
  const QStringList selected = openDialog.selectedFiles();
  openDialog8Name_ = selected.value(0);

  QFileDialog saveDialog(this, QStringLiteral("合并后的数据文件保存为"), QString(), kDataFileFilters);
  saveDialog.setObjectName(QStringLiteral("SaveDialog8"));
  saveDialog.setDefaultSuffix(QStringLiteral("txt"));
  if (!saveDialog8Name_.isEmpty()) saveDialog.selectFile(saveDialog8Name_);
  const QString output = ChooseSaveFile(saveDialog);
  if (output.isEmpty()) return;
  saveDialog8Name_ = output;
  if (selected.isEmpty()) return;

  // From here to the end the window takes no input: the merge runs to its
  // end before control returns to the event loop.
  BusyCursor busy;
  panels_[harvest::kPanelStatus]->setText(QStringLiteral("数据正处理中..."));
  repaint();
  std::vector<harvest::FilePath> inputs;
  for (const QString& file : selected) inputs.push_back(platform::ToFilePath(file));
  platform::IcuLineCollation collation(platform::IcuLineCollation::UserLocale());
  tools::MergeDataFiles(inputs, platform::ToFilePath(output), collation, [this](std::int64_t count) {
    panels_[harvest::kPanelStatus]->setText(QStringLiteral("文件合并整理完毕！共计：") + QString::number(count));
  });
}

void TForm1::N20Click() { platform::OpenUrl(platform::ToGbk(HomePage())); }

void TForm1::N15Click() {
  if (aboutBox_) RunDialog(*aboutBox_);
}

void TForm1::SpeedButton10Click() { close(); }

void TForm1::closeEvent(QCloseEvent* event) {
  harvest::MsgDlgBtn answer = harvest::MsgDlgBtn::No;
  Guarded([&] {
    answer = shell::MessageDlg(this, QStringLiteral("确认退出Kelvane吗?"), harvest::MsgDlgType::Confirmation,
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

void TForm1::SetPanelText(int panel, const std::string& text) {
  panels_.at(static_cast<std::size_t>(panel))->setText(platform::FromGbk(text));
}

bool TForm1::DeduplicateChecked() const { return checkBox1_->isChecked(); }

std::string TForm1::IntervalText() const { return platform::ToGbk(spinEdit1_->text()); }

void TForm1::SetRunCommands(bool running) {
  speedButton2_->setEnabled(!running);
  speedButton4_->setEnabled(!running);
  speedButton3_->setEnabled(running);
}

bool TForm1::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  QString text = platform::FromGbk(value);
  if (!shell::InputQuery(this, platform::FromGbk(caption), platform::FromGbk(prompt), text)) return false;
  value = platform::ToGbk(text);
  return true;
}

void TForm1::ShowMessage(const std::string& text) { shell::ShowMessage(this, platform::FromGbk(text)); }

harvest::MsgDlgBtn TForm1::MessageDlg(const std::string& text, harvest::MsgDlgType type,
                                      std::initializer_list<harvest::MsgDlgBtn> buttons) {
  return shell::MessageDlg(this, platform::FromGbk(text), type, buttons);
}

void TForm1::Repaint() { repaint(); }

// --- the progress file --------------------------------------------------------

void TForm1::WriteProgress() {
  harvest::ProgressRecord record;
  record.keywordFile = edit5Text_;
  record.keywordIndex = run_->KeywordIndex();
  record.deduplicate = checkBox1_->isChecked();
  record.intervalSeconds = harvest::StrToIntDef(IntervalText(), 1);
  harvest::WriteProgressFile(ProgressFilePath(), record);
}

void TForm1::SetEdit5Text(const std::string& gbk) {
  edit5Text_ = gbk;
  edit5_->setText(platform::FromGbk(gbk));
}

void TForm1::RestoreKeywordFile(const std::string& path) { SetEdit5Text(path); }
void TForm1::RestoreKeywordIndex(int index) { run_->SetKeywordIndex(index); }
void TForm1::RestoreDeduplicate(bool on) { checkBox1_->setChecked(on); }
void TForm1::RestoreInterval(int seconds) { spinEdit1_->setValue(seconds); }

}  // namespace shell
