#pragma once
// The main window: the toolbar, the result list, the settings bar, the
// embedded browser and the status bar. It owns the search run and shows it:
// the engine sees the window through harvest::SearchWindow, the browser
// through the window (harvest::PageBrowser), and records its resume point
// through harvest::ProgressWriter.
//
// Everything here runs on the window's thread, in its one event loop. The
// window is busy while the run reads a page (the tick has asked for its
// text) and while a merge runs (on a thread of its own); the two can
// overlap. What may not run in the middle of them waits: a close is asked
// about once neither is busy, and the run's tick and page texts that come
// during a merge are taken once it has ended.

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "harvest/progress_file.h"
#include "harvest/query_url.h"
#include "harvest/recovery_record.h"
#include "harvest/result_list.h"
#include "harvest/search_run.h"
#include "platform/embedded_browser.h"
#include "platform/notification_icon.h"
#include "platform/qt_run_timer.h"
#include "shell/tray_icon.h"

class QAction;
class QKeySequence;
class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QSpinBox;
class QToolBar;
class QToolButton;
class QTimer;
class QTreeView;

namespace shell {

class ResultListModel;

struct MainWindowOptions {
  // The embedded browser; by default Qt WebEngine, tests give a stand-in.
  std::function<std::unique_ptr<platform::EmbeddedBrowser>(QWidget* parent)> makeBrowser;
  // The host's addresses; by default the network interfaces that are up.
  std::unique_ptr<harvest::AddressLookup> addresses;
  // The result-page address up to the keyword; tests point it at a local server.
  std::string queryPrefix{harvest::kQueryPrefix};
  // Where the progress file lives and the keyword import starts; by default
  // chosen at start (the executable's folder when it is writable).
  std::optional<harvest::FilePath> appDir;
  // The icon in the desktop's notification area; by default QSystemTrayIcon.
  std::unique_ptr<platform::NotificationIcon> notificationIcon;
  // Gives freed memory back to the system, every few pages of a run; by
  // default the C library's trim.
  std::function<void()> returnFreedMemory;
};

class BackgroundMerge;

class MainWindow final : public QMainWindow,
                         public harvest::SearchWindow,
                         public harvest::PageBrowser,
                         public harvest::ProgressWriter,
                         private harvest::ProgressTarget {
  Q_OBJECT
 public:
  explicit MainWindow(MainWindowOptions options = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  void SetAboutBox(QDialog* aboutBox) { aboutBox_ = aboutBox; }

  // The toolbar's and the tray menu's commands.
  void ImportKeywords();
  void StartSearch();
  void StopSearch();
  void SaveResults();
  void SaveProgress();
  void MergeDataFiles();
  void OpenHomePage();
  void ShowAbout();
  void ExitProgram();  // closes the window, through the close question
  void ShowFromTray();
  void MinimizeToTray();
  // A second start of the program asked for the window: shown from the
  // tray or from minimised, raised, and activated with the launcher's token
  // when it gave one.
  void ShowOnRequest(const QByteArray& activationToken);
  void WriteToMaker();
  // The search timer's event: the run's next step.
  void OnTimerTick();

  bool MergeRunning() const { return merge_ != nullptr; }

  // Ends the program at once with `status`, without the close question (a
  // logout, a shutdown, Ctrl+C): the recovery record stays as of the last
  // step of the run. A merge still running is abandoned: its output stays as
  // it was, and its temporary file, which has no name, goes with the process.
  void EndAtOnce(int status);

  // harvest::SearchWindow
  void SetPanelText(int panel, const std::string& text) override;
  bool DeduplicateChecked() const override;
  std::string IntervalText() const override;
  void SetRunCommands(bool running) override;
  bool AskForText(const std::string& caption, const std::string& prompt,
                  std::string& value) override;
  void ShowPlainMessage(const std::string& text) override;
  harvest::DialogButton ShowTypedDialog(
      const std::string& text, harvest::DialogKind type,
      std::initializer_list<harvest::DialogButton> buttons) override;
  void Repaint() override;

  // harvest::PageBrowser: the embedded browser, its answers taken through
  // the application's error handler.
  void Navigate(const std::string& url) override;
  void RequestPageText(PageTextHandler handler) override;

  // harvest::ProgressWriter
  void WriteProgress() override;

  harvest::SearchRun& Run() { return *run_; }
  const harvest::ResultList& Results() const { return results_; }
  const platform::QtRunTimer& SearchTimer() const { return *searchTimer_; }
  // The recovery record, none when another program keeps it.
  harvest::RecoveryRecord* Recovery() { return recovery_.get(); }
  shell::TrayIcon& Tray() { return *trayIcon_; }
  QMenu& TrayMenu() { return *trayMenu_; }

 Q_SIGNALS:
  // The window has closed for good (the close question said yes): the
  // program ends. Hiding to the tray is not closing.
  void Closed();

 protected:
  void showEvent(QShowEvent* event) override;
  // Every way of closing asks first.
  void closeEvent(QCloseEvent* event) override;
  // The minimise button hides the window to the tray, when there is one.
  void changeEvent(QEvent* event) override;

 private:
  using Command = void (MainWindow::*)();

  void RestoreProgress();
  void BuildToolbar();
  void BuildSettingsBar(QWidget* parent);
  void BuildStatusBar();
  QWidget* BuildCentralArea();
  void BuildTrayIcon();
  // Whether the window is hidden in the notification area.
  bool HiddenInTray() const;
  // A run has finished: a desktop notification when nobody sees the window.
  void TellRunEnded();
  // One action per command, shared by the toolbar and the tray menu where
  // both offer it: wired once, enabled or not in both places at once.
  QAction* AddCommand(const char* name, const QString& text, Command command);
  void AddToolButton(const char* name, QAction* command, const QString& caption, const QString& tip,
                     const QString& glyph, const QKeySequence& key);
  harvest::FilePath ProgressFilePath() const;
  // The keyword-file box shows the file's path; its GBK bytes are kept as
  // they came, so that the progress file gets back exactly what it gave.
  void SetKeywordFileText(const std::string& gbk);
  void SetStatusLine(const QString& text);

  // The page's text for the run, or, during a merge, kept until its end.
  void TakePageText(const PageTextHandler& handler, harvest::PageText page);
  void CarryRunOn(const PageTextHandler& handler, harvest::PageText page);
  void MergeEnded(std::optional<std::int64_t> count, std::exception_ptr error);
  // Whether a close must wait: a page is being read or a merge runs.
  bool Busy() const;
  // Asks the close question that waited, once nothing is busy.
  void CloseIfWaiting();

  // The recovery record: offered back at start, kept after each step of the
  // run and each command that changes the list or the run's place.
  void OpenRecoveryRecord();
  void Restore(const harvest::RecoveredRun& found);
  harvest::RunPlace CurrentPlace() const;
  void KeepRecord();
  // A failure to write the record, once, after the step that met it.
  void TellRecordFailure();
  void ShowRecordFailure(const std::string& failure);

  // harvest::ProgressTarget: the lines of the progress file, restored.
  void RestoreKeywordFile(const std::string& path) override;
  void RestoreKeywordIndex(int index) override;
  void RestoreDeduplicate(bool on) override;
  void RestoreInterval(int seconds) override;

  MainWindowOptions options_;
  harvest::FilePath appDir_;
  harvest::ResultList results_;
  std::unique_ptr<platform::EmbeddedBrowser> browser_;
  std::unique_ptr<platform::QtRunTimer> searchTimer_;
  std::unique_ptr<harvest::SearchRun> run_;
  QDialog* aboutBox_ = nullptr;
  BackgroundMerge* merge_ = nullptr;  // while a merge runs
  std::unique_ptr<harvest::RecoveryRecord> recovery_;
  int pageSteps_ = 0;  // pages processed, for returning freed memory
  QTimer* recordCheck_ = nullptr;  // tells a failed write of the last part
  // What came while the window was busy and waits for it to end.
  bool tickDue_ = false;                            // the run's tick, during a merge
  std::vector<std::function<void()>> pageTexts_;    // page texts, during a merge
  bool closeWaiting_ = false;                       // a close, during a read or a merge

  std::unique_ptr<platform::NotificationIcon> notificationIcon_;
  QMenu* trayMenu_ = nullptr;
  QAction* showFromTrayAction_ = nullptr;    // enabled while the window is in the tray
  QAction* minimizeToTrayAction_ = nullptr;  // enabled while it is shown
  std::unique_ptr<shell::TrayIcon> trayIcon_;

  QToolBar* toolbar_ = nullptr;
  QAction* importAction_ = nullptr;  // disabled while a run goes
  QAction* searchAction_ = nullptr;  // disabled while a run goes
  QAction* stopAction_ = nullptr;    // enabled while a run goes
  QAction* homePageAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QAction* exitAction_ = nullptr;
  QTreeView* resultView_ = nullptr;
  ResultListModel* resultModel_ = nullptr;
  QSpinBox* intervalBox_ = nullptr;
  QCheckBox* dedupeBox_ = nullptr;
  QLineEdit* keywordFileEdit_ = nullptr;
  std::string keywordFileText_;
  // The merge dialogs offer the names chosen last time again.
  QString lastMergeInput_;
  QString lastMergeOutput_;
  std::array<QLabel*, 7> statusPanels_{};
};

}  // namespace shell
