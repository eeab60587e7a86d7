// The main window in the notification area: its icon, its menu, and
// minimising to the tray and back, with and without a notification area.

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMenu>

#include "../harvest/gbk.h"
#include "qt_test_helpers.h"
#include "shell_fixture.h"

namespace {

QAction* Item(QMenu& menu, const char* name) { return menu.findChild<QAction*>(QString::fromLatin1(name)); }

TEST_F(FormTest, TheIconIsAddedWithTheTitleAsHintAndTheMenu) {
  auto form = MakeForm();
  // As the window's resource sets them: icon, visible, hint; then the
  // after-load step shows the icon once more.
  EXPECT_EQ(tray_->log, (std::vector<std::string>{"NIM_MODIFY", "NIM_ADD", "NIM_MODIFY", "NIM_ADD"}));
  const auto& record = tray_->requests.back().data;
  EXPECT_EQ(std::string(record.szTip.data()), Gbk("『Kelvane』 V2.6"));
  EXPECT_NE(record.hIcon, 0u);
  EXPECT_EQ(tray_->shown.size(), 1u);

  const std::tuple<const char*, const char*, bool> items[] = {
      {"N17", "显示主程序(&S)", false}, {"N18", "最小化显示(&M)", true}, {"N19", "与我们联系(&L)", true},
      {"N20", "访问Ferrowind主页(&V)", true}, {"N21", "关于本软件(&A)", true}, {"N23", "退 出(&Exit)", true},
  };
  QMenu& menu = form->PopupMenu1();
  ASSERT_EQ(menu.actions().size(), 7);
  for (const auto& [name, caption, enabled] : items) {
    QAction* action = Item(menu, name);
    ASSERT_NE(action, nullptr) << name;
    EXPECT_EQ(action->text(), QString::fromUtf8(caption));
    EXPECT_EQ(action->isEnabled(), enabled) << name;
  }
  EXPECT_TRUE(menu.actions()[5]->isSeparator());  // N22
  EXPECT_EQ(form->AntTaskbarIcon1().PopupMenu(), &menu);
}

TEST_F(FormTest, MinimisingHidesToTheTrayAndAClickBringsTheWindowBack) {
  auto form = MakeForm();
  form->show();
  form->setWindowState(Qt::WindowMinimized);
  Settle();
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(Item(form->PopupMenu1(), "N17")->isEnabled());
  EXPECT_FALSE(Item(form->PopupMenu1(), "N18")->isEnabled());

  tray_->Callback(platform::kWmLButtonDown);
  tray_->Callback(platform::kWmLButtonUp);
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->isMinimized());
  EXPECT_FALSE(Item(form->PopupMenu1(), "N17")->isEnabled());
  EXPECT_TRUE(Item(form->PopupMenu1(), "N18")->isEnabled());

  // A click while the window is shown changes nothing.
  tray_->Callback(platform::kWmLButtonDown);
  tray_->Callback(platform::kWmLButtonUp);
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(Item(form->PopupMenu1(), "N17")->isEnabled());
}

TEST_F(FormTest, TheMenuMinimisesAndShowsAgain) {
  auto form = MakeForm();
  form->show();
  tray_->onPopup = [](QMenu& menu) { Item(menu, "N18")->trigger(); };
  tray_->Callback(platform::kWmRButtonDown);
  tray_->Callback(platform::kWmRButtonUp);
  EXPECT_FALSE(form->isVisible());

  tray_->onPopup = [](QMenu& menu) { Item(menu, "N17")->trigger(); };
  tray_->Callback(platform::kWmRButtonDown);
  tray_->Callback(platform::kWmRButtonUp);
  EXPECT_TRUE(form->isVisible());
}

TEST_F(FormTest, WithoutANotificationAreaMinimisingLeavesAnOrdinaryMinimisedWindow) {
  trayAvailable_ = false;
  auto form = MakeForm();
  form->show();
  form->setWindowState(Qt::WindowMinimized);
  Settle();
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->isMinimized());
  EXPECT_FALSE(Item(form->PopupMenu1(), "N17")->isEnabled());
  EXPECT_TRUE(Item(form->PopupMenu1(), "N18")->isEnabled());
}

TEST_F(FormTest, ExitFromTheTrayAsksFirstAndNoLeavesEverythingAsItWas) {
  auto form = MakeForm();
  form->show();
  tray_->onPopup = [](QMenu& menu) { Item(menu, "N23")->trigger(); };
  auto question = AnswerMessageBox(QStringLiteral("否[&N]"));
  tray_->Callback(platform::kWmRButtonDown);
  tray_->Callback(platform::kWmRButtonUp);
  EXPECT_EQ(question->text, QStringLiteral("确认退出Kelvane吗?"));
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(tray_->shown.size(), 1u);  // the icon too

  AnswerMessageBox(QStringLiteral("是[&Y]"));
  tray_->Callback(platform::kWmRButtonDown);
  tray_->Callback(platform::kWmRButtonUp);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(FormTest, ContactWritesToTheMakersMailbox) {
  auto form = MakeForm();
  UrlRecorder recorder;
  Item(form->PopupMenu1(), "N19")->trigger();
  ASSERT_EQ(recorder.opened.size(), 1);
  EXPECT_EQ(recorder.opened[0].scheme(), QStringLiteral("mailto"));
}

}  // namespace
