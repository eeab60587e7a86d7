#pragma once
// TForm1, the main window: the toolbar, the result list, the settings bar,
// the embedded browser and the status bar. It owns the search run and shows
// it: the engine sees the window through harvest::SearchWindow and records
// its resume point through harvest::ProgressWriter.

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "harvest/progress_file.h"
#include "harvest/query_url.h"
#include "harvest/result_list.h"
#include "harvest/search_run.h"
#include "platform/embedded_browser.h"
#include "platform/notification_area.h"
#include "platform/qt_run_timer.h"
#include "shell/antTaskbarIcon.h"

class QCheckBox;
class QDialog;
class QLabel;
class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QToolBar;
class QToolButton;
class QTreeView;

namespace shell {

class ResultListModel;


struct TForm1Options {
  // The embedded browser; by default Qt WebEngine, tests give a stand-in.
  std::function<std::unique_ptr<platform::EmbeddedBrowser>(QWidget* parent)> makeBrowser;
  // The host's addresses; by default the network interfaces that are up.
  std::unique_ptr<harvest::AddressLookup> addresses;
  // The result-page address up to the keyword; tests point it at a local server.
  std::string queryPrefix{harvest::kQueryPrefix};
  // Where the progress file lives and the keyword import starts; by default
  // chosen at start (the executable's folder when it is writable).
  std::optional<harvest::FilePath> appDir;
  // The desktop's notification area; by default QSystemTrayIcon's.
  std::unique_ptr<platform::NotificationArea> notificationArea;
};

class TForm1 final : public QMainWindow,
                     public harvest::SearchWindow,
                     public harvest::ProgressWriter,
                     private harvest::ProgressTarget {
  Q_OBJECT
 public:
  explicit TForm1(TForm1Options options = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  void SetAboutBox(QDialog* aboutBox) { aboutBox_ = aboutBox; }

  // Commands of the toolbar and events of the run.
  void SpeedButton4Click();   // Import keyword list
  void N2Click();             // Search
  void N3Click();             // Stop
  void N5Click();             // Save results
  void SpeedButton8Click();   // Save progress
  void SpeedButton1Click();   // Merge data files
  void N20Click();            // Home page
  void N15Click();            // About
  void SpeedButton10Click();  // Exit
  void N17Click();            // show the main window again (tray)
  void N18Click();            // minimise to the tray
  void N14Click();            // write to the maker
  void N23Click();            // exit from the tray menu
  void Timer1Timer();
  void Button1Click();  // the first page request of a run
  void BitBtn1Click();  // Finish
  void ProcessPage();

  // harvest::SearchWindow
  void SetPanelText(int panel, const std::string& text) override;
  bool DeduplicateChecked() const override;
  std::string IntervalText() const override;
  void SetRunCommands(bool running) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
  void ShowMessage(const std::string& text) override;
  harvest::MsgDlgBtn MessageDlg(const std::string& text, harvest::MsgDlgType type,
                                std::initializer_list<harvest::MsgDlgBtn> buttons) override;
  void Repaint() override;

  // harvest::ProgressWriter
  void WriteProgress() override;

  harvest::SearchRun& Run() { return *run_; }

 Q_SIGNALS:
  // The window has closed for good (the close question said yes): the
  // program ends. Hiding to the tray is not closing.
  void Closed();

 public:
  const harvest::ResultList& Results() const { return results_; }
  const harvest::FilePath& AppDir() const { return appDir_; }
  const platform::QtRunTimer& Timer1() const { return *timer1_; }
  platform::EmbeddedBrowser& WebBrowser1() { return *webBrowser1_; }
  TantTaskbarIcon& AntTaskbarIcon1() { return *antTaskbarIcon1_; }
  QMenu& PopupMenu1() { return *popupMenu1_; }

 protected:
  void closeEvent(QCloseEvent* event) override;  // FormCloseQuery
  // The minimise button hides the window to the tray, when there is one.
  void changeEvent(QEvent* event) override;

 private:
  void FormCreate();
  void BuildToolbar();
  void BuildSettingsBar(QWidget* parent);
  void BuildStatusBar();
  QWidget* BuildCentralArea();
  void BuildTrayIcon();
  QToolButton* AddToolButton(const char* name, const QString& caption, const QString& tip, const QString& glyph,
                             void (TForm1::*command)());
  harvest::FilePath ProgressFilePath() const;
  // Edit5 shows the keyword file's path; its GBK bytes are kept as they
  // came, so that the progress file gets back exactly what it gave.
  void SetEdit5Text(const std::string& gbk);

  // harvest::ProgressTarget: the lines of the progress file, restored.
  void RestoreKeywordFile(const std::string& path) override;
  void RestoreKeywordIndex(int index) override;
  void RestoreDeduplicate(bool on) override;
  void RestoreInterval(int seconds) override;

  TForm1Options options_;
  harvest::FilePath appDir_;
  harvest::ResultList results_;
  std::unique_ptr<platform::EmbeddedBrowser> webBrowser1_;
  std::unique_ptr<platform::QtRunTimer> timer1_;
  std::unique_ptr<harvest::SearchRun> run_;
  QDialog* aboutBox_ = nullptr;
  std::unique_ptr<platform::NotificationArea> notificationArea_;
  QMenu* popupMenu1_ = nullptr;
  QAction* n17_ = nullptr;  // "显示主程序(&S)"
  QAction* n18_ = nullptr;  // "最小化显示(&M)"
  std::unique_ptr<TantTaskbarIcon> antTaskbarIcon1_;

  QToolBar* coolBar1_ = nullptr;
  QToolButton* speedButton2_ = nullptr;  // Search
  QToolButton* speedButton3_ = nullptr;  // Stop
  QToolButton* speedButton4_ = nullptr;  // Import
  QTreeView* listView1_ = nullptr;
  ResultListModel* listModel_ = nullptr;
  QSpinBox* spinEdit1_ = nullptr;
  QCheckBox* checkBox1_ = nullptr;
  QLineEdit* edit5_ = nullptr;
  std::string edit5Text_;
  // The merge dialogs offer the names chosen last time again.
  QString openDialog8Name_;
  QString saveDialog8Name_;
  std::array<QLabel*, 7> panels_{};
};

}  // namespace shell
