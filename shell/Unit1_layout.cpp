// The main window's controls, laid out as the program has always had them:
// toolbar on top, the result list on the left, the settings bar and the
// browser on the right, the status bar at the bottom.

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

#include "shell/Unit1.h"
#include "shell/branding.h"
#include "shell/error_handler.h"
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
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei"),
                    QStringLiteral("Noto Sans CJK SC")});
  font.setPixelSize(12);
  return font;
}

}  // namespace

QToolButton* TForm1::AddToolButton(const char* name, const QString& caption, const QString& tip,
                                   const QString& glyph, void (TForm1::*command)()) {
  auto* button = new QToolButton(coolBar1_);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(caption);
  button->setToolTip(tip);
  button->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(glyph)));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAutoRaise(true);  // flat until the mouse is over it
  button->setFixedSize(kToolButtonSize);
  if (command) connect(button, &QToolButton::clicked, this, [this, command] { Guarded([&] { (this->*command)(); }); });
  coolBar1_->addWidget(button);
  return button;
}

void TForm1::BuildToolbar() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(MainCaption());
  setFont(WindowFont());
  resize(kWindowWidth, kWindowHeight);

  coolBar1_ = new QToolBar(this);
  coolBar1_->setObjectName(QStringLiteral("CoolBar1"));
  coolBar1_->setMovable(false);
  coolBar1_->setFloatable(false);
  coolBar1_->setFixedHeight(kToolbarHeight);
  coolBar1_->setIconSize(QSize(16, 16));
  coolBar1_->setContextMenuPolicy(Qt::PreventContextMenu);
  addToolBar(Qt::TopToolBarArea, coolBar1_);

  speedButton4_ = AddToolButton("SpeedButton4", QStringLiteral("导入"), QStringLiteral("导入关键字列表"), QStringLiteral("import"),
                                &TForm1::SpeedButton4Click);
  speedButton2_ = AddToolButton("SpeedButton2", QStringLiteral("搜索"), QStringLiteral("开始手机搜索"), QStringLiteral("search"),
                                &TForm1::N2Click);
  speedButton3_ = AddToolButton("SpeedButton3", QStringLiteral("终止"), QStringLiteral("终止手机搜索"), QStringLiteral("stop"),
                                &TForm1::N3Click);
  AddToolButton("SpeedButton5", QStringLiteral("保存"), QStringLiteral("保存搜索结果"), QStringLiteral("save"), &TForm1::N5Click);
  AddToolButton("SpeedButton8", QStringLiteral("进程"), QStringLiteral("保存搜索进程"), QStringLiteral("progress"),
                &TForm1::SpeedButton8Click);
  AddToolButton("SpeedButton1", QStringLiteral("合并"), QStringLiteral("合并数据文件"), QStringLiteral("merge"),
                &TForm1::SpeedButton1Click);
  AddToolButton("SpeedButton6", QStringLiteral("主页"), QStringLiteral("访问软件主页"), QStringLiteral("home"), &TForm1::N20Click);
  AddToolButton("SpeedButton9", QStringLiteral("关于"), QStringLiteral("关于本软件"), QStringLiteral("about"), &TForm1::N15Click);
  AddToolButton("SpeedButton10", QStringLiteral("退出"), QStringLiteral("退出软件系统"), QStringLiteral("exit"),
                &TForm1::SpeedButton10Click);
}

void TForm1::BuildSettingsBar(QWidget* parent) {
  auto* bar = new QWidget(parent);
  bar->setObjectName(QStringLiteral("SettingsBar"));
  bar->setFixedHeight(kSettingsBarHeight);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(4, 2, 4, 2);

  auto* intervalLabel = new QLabel(QStringLiteral("搜索间隔[秒]："), bar);
  spinEdit1_ = new QSpinBox(bar);
  spinEdit1_->setObjectName(QStringLiteral("SpinEdit1"));
  spinEdit1_->setRange(1, 1000);
  spinEdit1_->setValue(8);
  spinEdit1_->setAccessibleName(QStringLiteral("搜索间隔[秒]"));
  intervalLabel->setBuddy(spinEdit1_);

  checkBox1_ = new QCheckBox(QStringLiteral("去重"), bar);
  checkBox1_->setObjectName(QStringLiteral("CheckBox1"));
  checkBox1_->setLayoutDirection(Qt::RightToLeft);  // the caption on the box's left

  auto* fileLabel = new QLabel(QStringLiteral("搜索文件："), bar);
  edit5_ = new QLineEdit(bar);
  edit5_->setObjectName(QStringLiteral("Edit5"));
  edit5_->setReadOnly(true);
  edit5_->setAccessibleName(QStringLiteral("搜索文件"));
  fileLabel->setBuddy(edit5_);

  row->addWidget(intervalLabel);
  row->addWidget(spinEdit1_);
  row->addWidget(checkBox1_);
  row->addWidget(fileLabel);
  row->addWidget(edit5_, 1);
  parent->layout()->addWidget(bar);
}

QWidget* TForm1::BuildCentralArea() {
  auto* central = new QWidget(this);
  auto* columns = new QHBoxLayout(central);
  columns->setContentsMargins(0, 0, 0, 0);
  columns->setSpacing(0);

  listView1_ = new QTreeView(central);
  listView1_->setObjectName(QStringLiteral("ListView1"));
  listView1_->setAccessibleName(QStringLiteral("手机号码列表"));
  listModel_ = new ResultListModel(results_, listView1_);
  listModel_->SetView(listView1_);
  listView1_->setModel(listModel_);
  listView1_->setRootIsDecorated(false);
  listView1_->setUniformRowHeights(true);
  listView1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listView1_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listView1_->setFixedWidth(kListWidth);
  listView1_->header()->setStretchLastSection(false);
  listView1_->setColumnWidth(0, kListColumnWidth);
  columns->addWidget(listView1_);

  auto* right = new QWidget(central);
  auto* stack = new QVBoxLayout(right);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(0);
  BuildSettingsBar(right);
  webBrowser1_ = options_.makeBrowser(right);
  webBrowser1_->Widget()->setObjectName(QStringLiteral("WebBrowser1"));
  webBrowser1_->Widget()->setAccessibleName(QStringLiteral("网页"));
  stack->addWidget(webBrowser1_->Widget(), 1);
  columns->addWidget(right, 1);
  return central;
}

void TForm1::BuildStatusBar() {
  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("StatusBar1"));
  const std::array<QString, 7> texts{QStringLiteral("总数："), QString(), QStringLiteral("进程："), QString(),
                                     QStringLiteral("手机："), QString(), ContactLine()};
  for (std::size_t i = 0; i < panels_.size(); ++i) {
    auto* panel = new QLabel(texts[i], bar);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const bool last = i + 1 == panels_.size();
    if (last) {
      panel->setMinimumWidth(kPanelWidths[i]);
    } else {
      panel->setFixedWidth(kPanelWidths[i]);
    }
    bar->addWidget(panel, last ? 1 : 0);
    panels_[i] = panel;
  }
  setStatusBar(bar);
}

}  // namespace shell
