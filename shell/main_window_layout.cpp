// The main window's controls, laid out as the program has always had them:
// toolbar on top, the result list on the left, the settings bar and the
// browser on the right, the status bar at the bottom.

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "shell/branding.h"
#include "shell/command_button.h"
#include "shell/error_handler.h"
#include "shell/main_window.h"
#include "shell/result_list_model.h"

namespace shell {
namespace {

constexpr int kWindowWidth = 590;
constexpr int kWindowHeight = 418;
constexpr int kToolbarHeight = 30;
constexpr QSize kToolButtonSize(55, 23);
constexpr int kListWidth = 161;
constexpr int kListColumnWidth = 175;
constexpr int kSettingsBarHeight = 28;
constexpr std::array<int, 7> kPanelWidths{39, 50, 39, 50, 39, 50, 50};

QFont WindowFont() {
  // SimSun at 12 pixels; Linux desktops rarely have it, so CJK fonts that
  // they do have follow.
  QFont font;
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
  font.setPixelSize(12);
  return font;
}

// The desktop's key for a standard command; where its platform has none
// (the offscreen one, say), the key Linux desktops use.
QKeySequence StandardKey(QKeySequence::StandardKey command, const QKeySequence& linuxKey) {
  const QKeySequence key(command);
  return key.isEmpty() ? linuxKey : key;
}

}  // namespace

QAction* MainWindow::AddCommand(const char* name, const QString& text, Command command) {
  auto* action = new QAction(text, this);
  action->setObjectName(QString::fromLatin1(name));
  connect(action, &QAction::triggered, this,
          [this, command] { Guarded([&] { (this->*command)(); }); });
  return action;
}

void MainWindow::AddToolButton(const char* name, QAction* command, const QString& caption,
                               const QString& tip, const QString& glyph, const QKeySequence& key) {
  // The button shows the action's icon text and tool tip; a menu shows its
  // text. The shortcut works wherever the focus is in the window.
  command->setIconText(caption);
  command->setShortcut(key);
  command->setShortcutContext(Qt::WindowShortcut);
  command->setToolTip(tip + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) +
                      QLatin1Char(')'));
  command->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(glyph)));
  addAction(command);  // the shortcut needs the action in the window
  auto* button = new CommandButton(command, toolbar_);
  button->setObjectName(QString::fromLatin1(name));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAutoRaise(true);  // flat until the mouse is over it
  button->setFixedSize(kToolButtonSize);
  toolbar_->addWidget(button);
}

void MainWindow::BuildToolbar() {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(MainCaption());
  setFont(WindowFont());
  resize(kWindowWidth, kWindowHeight);

  toolbar_ = new QToolBar(this);
  toolbar_->setObjectName(QStringLiteral("Toolbar"));
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  toolbar_->setFixedHeight(kToolbarHeight);
  toolbar_->setIconSize(QSize(16, 16));
  toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
  addToolBar(Qt::TopToolBarArea, toolbar_);

  // The commands the tray menu offers too carry the menu's caption as their
  // text; the toolbar shows its own shorter one.
  importAction_ = AddCommand("ImportAction", QStringLiteral("导入"), &MainWindow::ImportKeywords);
  searchAction_ = AddCommand("SearchAction", QStringLiteral("搜索"), &MainWindow::StartSearch);
  stopAction_ = AddCommand("StopAction", QStringLiteral("终止"), &MainWindow::StopSearch);
  homePageAction_ = AddCommand("HomePageAction", QStringLiteral("访问Ferrowind主页(&V)"),
                               &MainWindow::OpenHomePage);
  aboutAction_ = AddCommand("AboutAction", QStringLiteral("关于本软件(&A)"), &MainWindow::ShowAbout);
  exitAction_ = AddCommand("ExitAction", QStringLiteral("退 出(&Exit)"), &MainWindow::ExitProgram);

  // The desktop's standard keys where there is one; the rest as a browser
  // or an IDE has them (F5 starts, Esc stops, Alt+Home goes home, F1 helps).
  QAction* save = AddCommand("SaveAction", QStringLiteral("保存"), &MainWindow::SaveResults);
  QAction* saveProgress =
      AddCommand("SaveProgressAction", QStringLiteral("进程"), &MainWindow::SaveProgress);
  QAction* merge = AddCommand("MergeAction", QStringLiteral("合并"), &MainWindow::MergeDataFiles);
  const struct {
    const char* name;
    QAction* command;
    QString caption;
    QString tip;
    const char* glyph;
    QKeySequence key;
  } buttons[] = {
      {"ImportButton", importAction_, QStringLiteral("导入"), QStringLiteral("导入关键字列表"),
       "import", StandardKey(QKeySequence::Open, Qt::CTRL | Qt::Key_O)},
      {"SearchButton", searchAction_, QStringLiteral("搜索"), QStringLiteral("开始手机搜索"),
       "search", Qt::Key_F5},
      {"StopButton", stopAction_, QStringLiteral("终止"), QStringLiteral("终止手机搜索"), "stop",
       Qt::Key_Escape},
      {"SaveButton", save, QStringLiteral("保存"), QStringLiteral("保存搜索结果"), "save",
       StandardKey(QKeySequence::Save, Qt::CTRL | Qt::Key_S)},
      {"SaveProgressButton", saveProgress, QStringLiteral("进程"), QStringLiteral("保存搜索进程"),
       "progress", Qt::CTRL | Qt::SHIFT | Qt::Key_S},
      {"MergeButton", merge, QStringLiteral("合并"), QStringLiteral("合并数据文件"), "merge",
       Qt::CTRL | Qt::Key_M},
      {"HomePageButton", homePageAction_, QStringLiteral("主页"), QStringLiteral("访问软件主页"),
       "home", Qt::ALT | Qt::Key_Home},
      {"AboutButton", aboutAction_, QStringLiteral("关于"), QStringLiteral("关于本软件"), "about",
       Qt::Key_F1},
      {"ExitButton", exitAction_, QStringLiteral("退出"), QStringLiteral("退出软件系统"), "exit",
       StandardKey(QKeySequence::Quit, Qt::CTRL | Qt::Key_Q)},
  };
  for (const auto& b : buttons) {
    AddToolButton(b.name, b.command, b.caption, b.tip, QString::fromLatin1(b.glyph), b.key);
  }
}

void MainWindow::BuildSettingsBar(QWidget* parent) {
  auto* bar = new QWidget(parent);
  bar->setObjectName(QStringLiteral("SettingsBar"));
  bar->setFixedHeight(kSettingsBarHeight);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(4, 2, 4, 2);

  auto* intervalLabel = new QLabel(QStringLiteral("搜索间隔[秒]："), bar);
  intervalBox_ = new QSpinBox(bar);
  intervalBox_->setObjectName(QStringLiteral("IntervalBox"));
  intervalBox_->setRange(1, 1000);
  intervalBox_->setValue(8);
  intervalBox_->setAccessibleName(QStringLiteral("搜索间隔[秒]"));
  intervalLabel->setBuddy(intervalBox_);

  dedupeBox_ = new QCheckBox(QStringLiteral("去重"), bar);
  dedupeBox_->setObjectName(QStringLiteral("DedupeBox"));
  dedupeBox_->setLayoutDirection(Qt::RightToLeft);  // the caption on the box's left

  auto* fileLabel = new QLabel(QStringLiteral("搜索文件："), bar);
  keywordFileEdit_ = new QLineEdit(bar);
  keywordFileEdit_->setObjectName(QStringLiteral("KeywordFileEdit"));
  keywordFileEdit_->setReadOnly(true);
  keywordFileEdit_->setAccessibleName(QStringLiteral("搜索文件"));
  fileLabel->setBuddy(keywordFileEdit_);

  row->addWidget(intervalLabel);
  row->addWidget(intervalBox_);
  row->addWidget(dedupeBox_);
  row->addWidget(fileLabel);
  row->addWidget(keywordFileEdit_, 1);
  parent->layout()->addWidget(bar);
}

QWidget* MainWindow::BuildCentralArea() {
  auto* central = new QWidget(this);
  auto* columns = new QHBoxLayout(central);
  columns->setContentsMargins(0, 0, 0, 0);
  columns->setSpacing(0);

  resultView_ = new QTreeView(central);
  resultView_->setObjectName(QStringLiteral("ResultList"));
  resultView_->setAccessibleName(QStringLiteral("手机号码列表"));
  resultModel_ = new ResultListModel(results_, resultView_);
  resultModel_->SetView(resultView_);
  resultView_->setModel(resultModel_);
  resultView_->setRootIsDecorated(false);
  resultView_->setUniformRowHeights(true);
  resultView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  resultView_->setSelectionBehavior(QAbstractItemView::SelectRows);
  resultView_->setFixedWidth(kListWidth);
  resultView_->header()->setStretchLastSection(false);
  resultView_->setColumnWidth(0, kListColumnWidth);
  columns->addWidget(resultView_);

  auto* right = new QWidget(central);
  auto* stack = new QVBoxLayout(right);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(0);
  BuildSettingsBar(right);
  browser_ = options_.makeBrowser(right);
  browser_->Widget()->setObjectName(QStringLiteral("Browser"));
  browser_->Widget()->setAccessibleName(QStringLiteral("网页"));
  stack->addWidget(browser_->Widget(), 1);
  columns->addWidget(right, 1);
  return central;
}

void MainWindow::BuildStatusBar() {
  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("StatusBar"));
  const std::array<QString, 7> texts{QStringLiteral("总数："),
                                     QString(),
                                     QStringLiteral("进程："),
                                     QString(),
                                     QStringLiteral("手机："),
                                     QString(),
                                     ContactLine()};
  for (std::size_t i = 0; i < statusPanels_.size(); ++i) {
    auto* panel = new QLabel(texts[i], bar);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const bool last = i + 1 == statusPanels_.size();
    if (last) {
      panel->setMinimumWidth(kPanelWidths[i]);
    } else {
      panel->setFixedWidth(kPanelWidths[i]);
    }
    bar->addWidget(panel, last ? 1 : 0);
    statusPanels_[i] = panel;
  }
  // A value panel shows a bare number; a screen reader says what it counts
  // (the caption beside it, without its colon).
  for (std::size_t value : {1u, 3u, 5u}) {
    statusPanels_[value]->setAccessibleDescription(texts[value - 1].chopped(1));
  }
  setStatusBar(bar);
}

}  // namespace shell
