// The main window's controls, in layouts sized from their content and the
// desktop's font: the toolbar on top, the result list on the left, the
// settings bar and the browser on the right, the status bar at the bottom.

#include <QAction>
#include <QBoxLayout>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QSizeGrip>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>
#include <QWebEngineView>

#include "shell/branding.h"
#include "shell/command_button.h"
#include "shell/error_handler.h"
#include "shell/main_window.h"
#include "shell/settings_bar.h"

namespace shell {
namespace {

// The result list's width to start with, when its content needs no more.
constexpr int kListStartWidth = 161;
// The designed size: the least the window starts with.
constexpr QSize kDesignedSize(590, 418);

// The desktop's key for a standard command; where its platform has none
// (the offscreen one, say), the key Linux desktops use.
QKeySequence StandardKey(QKeySequence::StandardKey command, const QKeySequence& linuxKey) {
  const QKeySequence key(command);
  return key.isEmpty() ? linuxKey : key;
}

QLabel* AddPanel(QStatusBar& bar, const char* name, const QString& text, int stretch = 0) {
  auto* panel = new QLabel(text, &bar);
  panel->setObjectName(QString::fromLatin1(name));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  bar.addWidget(panel, stretch);
  return panel;
}

// A value panel shows a bare number, at least a few digits wide; a screen
// reader says what it counts (its caption, without the colon).
QLabel* AddValuePanel(QStatusBar& bar, const char* name, const QLabel& caption) {
  QLabel* panel = AddPanel(bar, name, QString());
  panel->setMinimumWidth(panel->fontMetrics().horizontalAdvance(QStringLiteral("0000000")));
  panel->setAccessibleDescription(caption.text().chopped(1));
  return panel;
}

}  // namespace

QAction* MainWindow::AddCommand(const char* name, const QString& text,
                                const std::function<void()>& run) {
  auto* action = new QAction(text, this);
  action->setObjectName(QString::fromLatin1(name));
  connect(action, &QAction::triggered, this, [run] { Guarded(run); });
  addAction(action);  // its shortcut works wherever the focus is in the window
  return action;
}

void MainWindow::BuildToolbar() {
  toolbar_ = addToolBar(QString());
  toolbar_->setObjectName(QStringLiteral("Toolbar"));
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);

  // The commands the tray menu offers too carry the menu's text; the
  // toolbar shows its own shorter one.
  importAction_ = AddCommand("ImportAction", tr("导入"), [this] { ImportKeywords(); });
  searchAction_ = AddCommand("SearchAction", tr("搜索"), [this] { session_.StartSearch(); });
  stopAction_ = AddCommand("StopAction", tr("终止"), [this] { session_.StopSearch(); });
  mergeAction_ = AddCommand("MergeAction", tr("合并"), [this] { MergeDataFiles(); });
  homePageAction_ =
      AddCommand("HomePageAction", tr("访问Ferrowind主页(&V)"), [this] { OpenHomePage(); });
  aboutAction_ = AddCommand("AboutAction", tr("关于本软件(&A)"), [this] { ShowAbout(); });
  exitAction_ = AddCommand("ExitAction", tr("退 出(&Exit)"), [this] { ExitProgram(); });
  runsFolderAction_ =
      AddCommand("RunsFolderAction", tr("打开号码文件夹(&R)"), [this] { OpenRunsFolder(); });
  runsFolderAction_->setShortcut(Qt::CTRL | Qt::Key_R);
  runsFolderAction_->setShortcutContext(Qt::WindowShortcut);

  // The desktop's standard keys where there is one; the rest as a browser
  // or an IDE has them (F5 starts, Esc stops, Alt+Home goes home, F1 helps).
  const struct {
    const char* name;
    QAction* command;
    QString caption;
    QString tip;
    const char* glyph;
    QKeySequence key;
  } buttons[] = {
      {"ImportButton", importAction_, tr("导入"), tr("导入关键字列表"), "import",
       StandardKey(QKeySequence::Open, Qt::CTRL | Qt::Key_O)},
      {"SearchButton", searchAction_, tr("搜索"), tr("开始手机搜索"), "search", Qt::Key_F5},
      {"StopButton", stopAction_, tr("终止"), tr("终止手机搜索"), "stop", Qt::Key_Escape},
      {"SaveButton", AddCommand("SaveAction", tr("保存"), [this] { SaveResults(); }), tr("保存"),
       tr("保存搜索结果"), "save", StandardKey(QKeySequence::Save, Qt::CTRL | Qt::Key_S)},
      {"SaveProgressButton",
       AddCommand("SaveProgressAction", tr("进程"), [this] { SaveProgress(); }), tr("进程"),
       tr("保存搜索进程"), "progress", Qt::CTRL | Qt::SHIFT | Qt::Key_S},
      {"MergeButton", mergeAction_, tr("合并"), tr("合并数据文件"), "merge", Qt::CTRL | Qt::Key_M},
      {"HomePageButton", homePageAction_, tr("主页"), tr("访问软件主页"), "home",
       Qt::ALT | Qt::Key_Home},
      {"AboutButton", aboutAction_, tr("关于"), tr("关于本软件"), "about", Qt::Key_F1},
      {"ExitButton", exitAction_, tr("退出"), tr("退出软件系统"), "exit",
       StandardKey(QKeySequence::Quit, Qt::CTRL | Qt::Key_Q)},
  };
  for (const auto& b : buttons) {
    // The button shows the action's icon text and tool tip; a menu shows its text.
    b.command->setIconText(b.caption);
    b.command->setShortcut(b.key);
    b.command->setShortcutContext(Qt::WindowShortcut);
    b.command->setToolTip(b.tip + QStringLiteral(" (") + b.key.toString(QKeySequence::NativeText) +
                          QLatin1Char(')'));
    b.command->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(b.glyph))));
    auto* button = new CommandButton(b.command, toolbar_);
    button->setObjectName(QString::fromLatin1(b.name));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);  // flat until the mouse is over it
    toolbar_->addWidget(button);
  }
}

QWidget* MainWindow::BuildCentralArea() {
  auto* columns = new QSplitter;
  columns->setObjectName(QStringLiteral("Columns"));
  columns->setChildrenCollapsible(false);

  resultView_ = new QTreeView(columns);
  resultView_->setObjectName(QStringLiteral("ResultList"));
  resultView_->setAccessibleName(tr("手机号码列表"));
  session::ResultListModel* model = session_.ResultModel();
  model->SetRowIcon(QIcon(QStringLiteral(":/icons/phone.svg")));
  resultView_->setModel(model);
  connect(model, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int, int last) { FollowNewRows(last); });
  resultView_->setRootIsDecorated(false);
  resultView_->setUniformRowHeights(true);
  resultView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  resultView_->setSelectionBehavior(QAbstractItemView::SelectRows);
  resultView_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

  auto* right = new QWidget(columns);
  auto* stack = new QVBoxLayout(right);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(0);
  auto* settingsBar = new SettingsBar(session_);
  stack->addWidget(settingsBar);
  QWidget* browser = BuildBrowserView();
  browser->setObjectName(QStringLiteral("Browser"));
  browser->setAccessibleName(tr("网页"));
  stack->addWidget(browser, 1);

  // The list as wide as its heading or a number with its glyph needs, the
  // browser the rest; the user may move the line between them.
  const QFontMetrics metrics = resultView_->fontMetrics();
  const int content =
      std::max(metrics.horizontalAdvance(
                   model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString()),
               metrics.horizontalAdvance(QStringLiteral("13800000000")) +
                   resultView_->style()->pixelMetric(QStyle::PM_SmallIconSize)) +
      4 * metrics.averageCharWidth();
  const int listWidth = std::max(kListStartWidth, content);
  columns->setSizes({listWidth, 1000});
  columnsStartWidth_ = listWidth + columns->handleWidth() + settingsBar->sizeHint().width();
  columns->setStretchFactor(1, 1);
  return columns;
}

QWidget* MainWindow::BuildBrowserView() {
  // The session's page in a view of the window's; a stand-in browser has no
  // page, and an empty panel takes its place.
  QWebEnginePage* page = session_.BrowserPage();
  if (!page) return new QWidget;
  auto* view = new QWebEngineView;
  view->setPage(page);
  return view;
}

void MainWindow::BuildStatusBar() {
  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("StatusBar"));
  const QLabel* caption = AddPanel(*bar, "KeywordCountCaption", tr("总数："));
  keywordCount_ = AddValuePanel(*bar, "KeywordCount", *caption);
  caption = AddPanel(*bar, "KeywordNumberCaption", tr("进程："));
  keywordNumber_ = AddValuePanel(*bar, "KeywordNumber", *caption);
  caption = AddPanel(*bar, "FoundCountCaption", tr("手机："));
  foundCount_ = AddValuePanel(*bar, "FoundCount", *caption);
  statusLine_ = AddPanel(*bar, "StatusLine", ContactLine(), 1);
  // A long status never widens the window.
  statusLine_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  // The file of the run that ended last: read and reached by Tab, no box.
  runFile_ = new QLabel(bar);
  runFile_->setObjectName(QStringLiteral("RunFile"));
  runFile_->setAccessibleDescription(tr("本次搜索的号码文件"));
  runFile_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  runFile_->setFocusPolicy(Qt::TabFocus);
  runFile_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  bar->addPermanentWidget(runFile_, 1);
  runFile_->hide();  // until a run has ended
  setStatusBar(bar);
}

QSize MainWindow::StartingSize() const {
  // The toolbar with every button showing (none behind its extension
  // arrow), the settings bar beside the list at its starting width, and the
  // status bar's panels with the welcome text whole: the status line itself
  // asks for no width, so that a long status never widens the window, and
  // the size grip shows only with the window.
  int status = statusBar()->sizeHint().width() + statusLine_->sizeHint().width();
  if (const auto* grip = statusBar()->findChild<QSizeGrip*>())
    status += grip->sizeHint().width() + statusBar()->layout()->spacing();
  const int width = std::max({toolbar_->sizeHint().width(), columnsStartWidth_, status});
  // One pixel more: at a fractional scale Qt gives the window manager resize
  // steps of whole device pixels (2 at 1.5), and a manager that keeps to
  // them makes the window up to one step narrower than asked.
  return kDesignedSize.expandedTo({width + 1, minimumSizeHint().height()});
}

}  // namespace shell
