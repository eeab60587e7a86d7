#pragma once
// The main window: a view of the search session. The toolbar's commands,
// the result list, the settings bar, the browser the session drives, and a
// status bar that shows the keyword count, the keyword being searched, the
// numbers found and the status line. The commands' enabled states follow
// the session's state in one place (UpdateCommands).

#include <QMainWindow>
#include <functional>
#include <memory>

#include "platform/notification_icon.h"
#include "session/search_session.h"
#include "shell/file_dialogs.h"

class QAction;
class QKeySequence;
class QLabel;
class QToolBar;
class QTreeView;

namespace shell {

class DialogQuestions;
class MergeProgressDialog;
class WindowTray;

class MainWindow final : public QMainWindow {
  Q_OBJECT
 public:
  // Shows `session`, which outlives the window. The notification-area icon
  // is QSystemTrayIcon unless one is given.
  explicit MainWindow(session::SearchSession& session,
                      std::unique_ptr<platform::NotificationIcon> trayIcon = nullptr,
                      QWidget* parent = nullptr);
  ~MainWindow() override;

  void SetAboutBox(QDialog* aboutBox) { aboutBox_ = aboutBox; }

  // The commands, as the toolbar, the tray menu and their keys run them.
  void ImportKeywords();
  void SaveResults();
  void SaveProgress();
  void MergeDataFiles();
  void OpenHomePage();
  // The folder the runs' own numbers files are in, in the file manager.
  void OpenRunsFolder();
  void ShowAbout();
  void ExitProgram();  // closes the window, through the close question

  session::SearchSession& Session() { return session_; }
  WindowTray& Tray() { return *tray_; }

 Q_SIGNALS:
  // The window has closed for good (the close question said yes): the
  // program ends. Hiding to the tray is not closing.
  void Closed();

 protected:
  void showEvent(QShowEvent* event) override;
  // Every way of closing asks first; while the session is busy, once it is not.
  void closeEvent(QCloseEvent* event) override;
  // The minimise button hides the window to the tray, when there is one.
  void changeEvent(QEvent* event) override;

 private:
  QAction* AddCommand(const char* name, const QString& text, const std::function<void()>& run);
  void BuildToolbar();
  QWidget* BuildCentralArea();
  void BuildStatusBar();
  QWidget* BuildBrowserView();
  // What the layout needs to show all it holds, never less than the designed size.
  QSize StartingSize() const;
  void BindToSession();
  // The commands' enabled states, from what the session is doing.
  void UpdateCommands(harvest::RunState state, bool merging);
  void ShowState(harvest::RunState state, bool merging);
  void ShowRunEnded(const harvest::RunSummary& summary, const QString& runFile);
  // A hold says why in the status line and the tray (hung pages: the log's).
  void ShowRunEvent(const harvest::RunEvent& event);
  void ShowMerging(bool merging);
  void OfferContinue(bool offered);
  // New rows in sight; the list has a current row once it has rows.
  void FollowNewRows(int last);
  void SetStatusLine(const QString& text);

  session::SearchSession& session_;
  std::unique_ptr<DialogQuestions> questions_;
  std::unique_ptr<WindowTray> tray_;
  QDialog* aboutBox_ = nullptr;
  MergeProgressDialog* mergeDialog_ = nullptr;  // while a merge runs
  harvest::RunState shownState_ = harvest::RunState::kIdle;

  QToolBar* toolbar_ = nullptr;
  QAction* importAction_ = nullptr;
  QAction* searchAction_ = nullptr;
  QAction* stopAction_ = nullptr;
  QAction* mergeAction_ = nullptr;
  QAction* homePageAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QAction* exitAction_ = nullptr;
  QAction* runsFolderAction_ = nullptr;
  int columnsStartWidth_ = 0;  // the list's starting width and the settings bar's
  QTreeView* resultView_ = nullptr;
  QLabel* keywordCount_ = nullptr;
  QLabel* keywordNumber_ = nullptr;
  QLabel* foundCount_ = nullptr;
  QLabel* statusLine_ = nullptr;
  QLabel* runFile_ = nullptr;  // the file of the run that ended last
  MergeDialogs mergeDialogs_;
};

}  // namespace shell
