#include "shell/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <filesystem>

#include "platform/file_names.h"
#include "platform/gbk_codec.h"
#include "platform/qt_notification_icon.h"
#include "platform/url_opener.h"
#include "shell/branding.h"
#include "shell/dialog_questions.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"
#include "shell/file_dialogs.h"
#include "shell/merge_progress_dialog.h"
#include "shell/run_event_text.h"
#include "shell/window_tray.h"

namespace shell {
namespace {

// A panel's new text. Assistive technology reads it as the panel's name,
// and Qt's label announces the change itself (once: a second event would
// double a screen reader's word and the bridge's cost).
void ShowInPanel(QLabel& panel, const QString& text) {
  if (panel.text() != text) panel.setText(text);
}

QString CountText(int count) {
  return count == session::SearchSession::kNone ? QString() : QString::number(count);
}

}  // namespace

MainWindow::MainWindow(session::SearchSession& searchSession,
                       std::unique_ptr<platform::NotificationIcon> trayIcon, QWidget* parent)
    : QMainWindow(parent),
      session_(searchSession),
      questions_(std::make_unique<DialogQuestions>(this)) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(MainCaption());
  session_.SetQuestions(questions_.get());
  BuildToolbar();
  setCentralWidget(BuildCentralArea());
  BuildStatusBar();
  tray_ = std::make_unique<WindowTray>(
      *this, trayIcon ? std::move(trayIcon) : std::make_unique<platform::QtNotificationIcon>());
  tray_->BuildMenu(homePageAction_, aboutAction_, runsFolderAction_, exitAction_);
  BindToSession();
  // As large as the fonts and scale in use make the content; the screen
  // fit takes it down to the screen's available area when it first shows.
  resize(StartingSize());
}

MainWindow::~MainWindow() {
  session_.SetQuestions(nullptr);
  // The tray goes while the window it hides is still whole.
  tray_.reset();
}

// --- the view of the session --------------------------------------------------

void MainWindow::BindToSession() {
  session::SearchSession* s = &session_;
  connect(s, &session::SearchSession::KeywordCountChanged, this,
          [this](int count) { ShowInPanel(*keywordCount_, CountText(count)); });
  connect(s, &session::SearchSession::KeywordNumberChanged, this,
          [this](int number) { ShowInPanel(*keywordNumber_, CountText(number)); });
  connect(s, &session::SearchSession::FoundCountChanged, this,
          [this](int count) { ShowInPanel(*foundCount_, CountText(count)); });
  connect(s, &session::SearchSession::StateChanged, this, &MainWindow::ShowState);
  connect(s, &session::SearchSession::RunEventReported, this, &MainWindow::ShowRunEvent);
  connect(s, &session::SearchSession::RunEnded, this, &MainWindow::ShowRunEnded);
  connect(s, &session::SearchSession::MergeProgressed, this,
          [this](const tools::MergeProgress& progress) {
            if (mergeDialog_) mergeDialog_->Show(progress);
          });
  connect(s, &session::SearchSession::MergeCounted, this,
          [this](qint64 lines) { SetStatusLine(tr("文件合并整理完毕！共计：%1").arg(lines)); });
  connect(s, &session::SearchSession::CloseDue, this, &QWidget::close);
  // What the session tells, in boxes that do not hold its run up.
  connect(s, &session::SearchSession::Failed, this, &HandleException);
  connect(s, &session::SearchSession::Told, this,
          [this](harvest::RunMessage message) { questions_->Tell(message); });
  connect(s, &session::SearchSession::FileFailed, this,
          [this](const session::FileFailure& failure) { questions_->TellFileFailure(failure); });
  connect(s, &session::SearchSession::RecordNotKept, this,
          [this](const session::RecordNotice& notice) { questions_->TellRecordNotKept(notice); });
  connect(s, &session::SearchSession::ContinueOffered, this, &MainWindow::OfferContinue);
  connect(s, &session::SearchSession::ContinueRefused, this,
          [this](const QString& keywordFile) { questions_->TellContinueRefused(keywordFile); });
  connect(s, &session::SearchSession::RunFileReplaced, this,
          [this](const QString& oldFile, const QString& newFile) {
            questions_->TellRunFileReplaced(oldFile, newFile);
          });
  connect(s, &session::SearchSession::NumbersUnwritten, this, [this](int count, bool inRecord) {
    questions_->TellNumbersUnwritten(count, inRecord, session_.RunFile());
  });

  UpdateCommands(session_.GetState(), session_.Merging());
}

void MainWindow::UpdateCommands(harvest::RunState state, bool merging) {
  bool canStart = false;
  bool canStop = false;
  switch (state) {
    case harvest::RunState::kIdle:
      // Stop is offered at program start too, as the toolbar always had it.
      canStart = true;
      canStop = !session_.RunStarted();
      break;
    case harvest::RunState::kStopping:
      canStart = true;  // a new run may start while the old one's page comes
      break;
    case harvest::RunState::kStarting:
    case harvest::RunState::kSearching:
    case harvest::RunState::kWaitingForPage:
    case harvest::RunState::kHolding:
      canStop = true;
      break;
  }
  searchAction_->setEnabled(canStart && !merging);
  importAction_->setEnabled(canStart && !merging);
  stopAction_->setEnabled(canStop);
  mergeAction_->setEnabled(!merging);
  tray_->SetEnabled(!merging);
}

void MainWindow::ShowState(harvest::RunState state, bool merging) {
  UpdateCommands(state, merging);
  if (merging != (mergeDialog_ != nullptr)) ShowMerging(merging);
  const harvest::RunState before = std::exchange(shownState_, state);
  if (state == before) return;
  switch (state) {
    case harvest::RunState::kStarting:
      SetStatusLine(tr("启动搜索请稍候..."));
      runFile_->hide();  // the status line's width is whole while a run goes
      return;
    case harvest::RunState::kSearching:
    case harvest::RunState::kWaitingForPage:
      SetStatusLine(tr("正在搜索..."));
      return;
    case harvest::RunState::kStopping:
      SetStatusLine(tr("终止搜索..."));
      return;
    case harvest::RunState::kHolding:  // its words came with the event that says why
    case harvest::RunState::kIdle:     // the run's end says its own
      return;
  }
}

void MainWindow::ShowRunEnded(const harvest::RunSummary& summary, const QString& runFile) {
  SetStatusLine(tr("搜索已经结束!"));
  tray_->SetHint({});
  runFile_->setText(tr("号码文件：%1").arg(runFile));
  runFile_->show();
  QString text = tr("搜索已经结束!\n共找到 %1 个手机号码").arg(summary.found);
  if (summary.heldMs > 0)
    text += tr("\n等待网络或搜索引擎共 %1 秒").arg((summary.heldMs + 999) / 1000);
  if (summary.pagesGivenUp > 0)
    text += tr("\n放弃网页 %1 个（见运行记录）").arg(summary.pagesGivenUp);
  tray_->NotifyWhileHidden(AppTitle(), text + QLatin1Char('\n') + runFile);
}

void MainWindow::OfferContinue(bool offered) {
  // Search goes on with the run restored after a crash, at its page.
  searchAction_->setIconText(offered ? tr("继续") : tr("搜索"));
  const QString key = searchAction_->shortcut().toString(QKeySequence::NativeText);
  searchAction_->setToolTip((offered ? tr("继续上次中断的搜索") : tr("开始手机搜索")) +
                            QStringLiteral(" (") + key + QLatin1Char(')'));
}

void MainWindow::ShowRunEvent(const harvest::RunEvent& event) {
  if (event.kind == harvest::RunEvent::Kind::kHolding) {
    const QString why = RunEventText::Holding(event);
    SetStatusLine(why);
    tray_->SetHint(why);
    if (event.tries == 1) tray_->NotifyWhileHidden(AppTitle(), why);
  } else if (event.kind == harvest::RunEvent::Kind::kGoingOn) {
    tray_->SetHint({});
    tray_->NotifyWhileHidden(AppTitle(), tr("已恢复连接，搜索继续进行。"));
  } else if (event.kind == harvest::RunEvent::Kind::kWaitingForLoad) {
    SetStatusLine(RunEventText::WaitingForLoad());
  }
}

void MainWindow::ShowMerging(bool merging) {
  if (merging) {
    SetStatusLine(tr("数据正处理中..."));
    QApplication::setOverrideCursor(Qt::BusyCursor);
    mergeDialog_ = new MergeProgressDialog(this);
    return;
  }
  delete mergeDialog_;
  mergeDialog_ = nullptr;
  QApplication::restoreOverrideCursor();
}

void MainWindow::FollowNewRows(int last) {
  const QModelIndex lastRow = session_.ResultModel()->index(last);
  // A list with rows has a current one, which the view draws focused when
  // the keyboard reaches it; it stays where the user puts it. (Setting it
  // scrolls to it, so it comes before the scroll to the last row.)
  if (!resultView_->currentIndex().isValid()) {
    resultView_->selectionModel()->setCurrentIndex(session_.ResultModel()->index(0),
                                                   QItemSelectionModel::NoUpdate);
  }
  resultView_->scrollTo(lastRow, QAbstractItemView::EnsureVisible);
}

void MainWindow::SetStatusLine(const QString& text) {
  ShowInPanel(*statusLine_, text);
  if (statusLine_->toolTip() != text) statusLine_->setToolTip(text);  // whole, if cut
}

// --- commands -----------------------------------------------------------------

void MainWindow::ImportKeywords() {
  FileDialog dialog(this, "ImportKeywordsDialog", tr("导入关键字列表文件"),
                    QStringLiteral("Text files(*.txt);;All files(*.*)"),
                    platform::FromGbk(session_.AppDir().text));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  const QString chosen = dialog.ChooseFiles().value(0);
  if (!chosen.isEmpty()) session_.ImportKeywords(platform::ToFilePath(chosen));
}

void MainWindow::SaveResults() {
  FileDialog dialog(this, "SaveResultsDialog", tr("搜索结果保存为"),
                    QStringLiteral("Text files(*.txt);;All files(*.*)"));
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  const QString chosen = dialog.ChooseSaveFile();
  if (!chosen.isEmpty()) session_.SaveResults(platform::ToFilePath(chosen));
}

void MainWindow::SaveProgress() {
  session_.SaveProgress();
  OpenPlainMessage(this, tr("已经保存当前手机号码搜索进程！"));
}

void MainWindow::MergeDataFiles() {
  const std::optional<MergeChoice> choice = mergeDialogs_.Choose(this);
  if (!choice) return;
  std::vector<harvest::FilePath> inputs;
  for (const QString& file : choice->inputs) inputs.push_back(platform::ToFilePath(file));
  session_.MergeDataFiles(inputs, platform::ToFilePath(choice->output));
}

void MainWindow::OpenHomePage() {
  platform::OpenUrl(HomePage());
}

void MainWindow::OpenRunsFolder() {
  // Before the first run it may not be there yet: the folder it will be in.
  std::filesystem::path folder = session_.RunsDir();
  while (!folder.empty() && !std::filesystem::is_directory(folder) && folder.has_parent_path() &&
         folder.parent_path() != folder)
    folder = folder.parent_path();
  platform::OpenUrl(QUrl::fromLocalFile(platform::ShownPath(folder)).toString());
}

void MainWindow::ShowAbout() {
  if (aboutBox_) OpenDialog(*aboutBox_);
}

void MainWindow::ExitProgram() {
  close();
}

// --- the window's events ------------------------------------------------------

void MainWindow::showEvent(QShowEvent* event) {
  // The keyboard's focus shows from the first moment, not only after the
  // first key press (Qt clears the mark when the window is made).
  setAttribute(Qt::WA_KeyboardFocusChange);
  QMainWindow::showEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A close from the window manager comes whatever the session is doing; in
  // the middle of a page or a merge it is asked about once they are over.
  event->ignore();
  if (session_.Busy()) {
    session_.CloseWhenIdle();
    return;
  }
  DialogButton answer = DialogButton::No;
  Guarded([&] {
    answer = ShowTypedDialog(this, tr("确认退出Kelvane吗?"), DialogKind::Confirmation,
                             {DialogButton::Yes, DialogButton::No});
  });
  if (answer != DialogButton::Yes) return;
  event->accept();
  session_.EndNormally();
  Q_EMIT Closed();
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized()) return;
  // Without a notification area there would be no way back: the window then
  // stays an ordinary minimised one.
  if (!tray_->Available()) return;
  // Hidden once the window system has finished minimising.
  QTimer::singleShot(0, this, [this] {
    if (isMinimized()) Guarded([this] { tray_->MinimizeToTray(); });
  });
}

}  // namespace shell
