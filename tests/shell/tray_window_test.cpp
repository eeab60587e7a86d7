// The main window in the notification area: its icon, its menu, and
// minimising to the tray and back, with and without a notification area, and
// when the area goes away; the word when a run ends unseen; the window shown
// again for a second start.

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include "qt_test_helpers.h"
#include "shell/window_tray.h"
#include "shell_fixture.h"

namespace {

QAction* Item(QMenu& menu, const char* name) {
  for (QAction* action : menu.actions()) {
    if (action->objectName() == QLatin1String(name)) return action;
  }
  ADD_FAILURE() << "no menu item " << name;
  return nullptr;
}

TEST_F(MainWindowTest, TheIconIsAddedWithTheTitleAsHintAndTheMenu) {
  auto form = MakeWindow();
  // Picture and hint before it shows.
  EXPECT_EQ(tray_->log, (std::vector<std::string>{"SetIcon", "SetToolTip", "SetVisible(true)"}));
  EXPECT_EQ(tray_->toolTip, QStringLiteral("『Kelvane』 V2.6"));
  EXPECT_FALSE(tray_->icon.isNull());
  EXPECT_TRUE(tray_->visible);

  const std::tuple<const char*, const char*, bool> items[] = {
      {"ShowFromTrayAction", "显示主程序(&S)", false},
      {"MinimizeToTrayAction", "最小化显示(&M)", true},
      {"ContactAction", "与我们联系(&L)", true},
      {"HomePageAction", "访问Ferrowind主页(&V)", true},
      {"AboutAction", "关于本软件(&A)", true},
      {"RunsFolderAction", "打开号码文件夹(&R)", true},
      {"ExitAction", "退 出(&Exit)", true},
  };
  QMenu& menu = form->Tray().Menu();
  // In this order, with a separator line before the last item.
  QList<QAction*> actions = menu.actions();
  ASSERT_EQ(actions.size(), 8);
  EXPECT_TRUE(actions.takeAt(6)->isSeparator());
  for (int i = 0; i < 7; ++i) {
    const auto& [name, caption, enabled] = items[i];
    EXPECT_EQ(actions[i]->objectName(), QString::fromLatin1(name));
    EXPECT_EQ(actions[i]->text(), QString::fromUtf8(caption));
    EXPECT_EQ(actions[i]->isEnabled(), enabled) << name;
  }
  EXPECT_EQ(tray_->contextMenu, &menu);  // the desktop shows it
}

TEST_F(MainWindowTest, TheToolbarAndTheMenuShareACommandNotItsCaption) {
  auto form = MakeWindow();
  const std::tuple<const char*, const char*, const char*> shared[] = {
      {"HomePageButton", "HomePageAction", "主页"},
      {"AboutButton", "AboutAction", "关于"},
      {"ExitButton", "ExitAction", "退出"},
  };
  for (const auto& [button, item, caption] : shared) {
    QAction* action = Item(form->Tray().Menu(), item);
    ASSERT_TRUE(action);
    EXPECT_EQ(Child<QToolButton>(*form, button)->defaultAction(), action) << button;
    EXPECT_EQ(Child<QToolButton>(*form, button)->text(), QString::fromUtf8(caption));
  }
  // Disabled in one place, disabled in both.
  QAction* about = Item(form->Tray().Menu(), "AboutAction");
  about->setEnabled(false);
  EXPECT_FALSE(Child<QToolButton>(*form, "AboutButton")->isEnabled());
}

TEST_F(MainWindowTest, MinimisingHidesToTheTrayAndAClickBringsTheWindowBack) {
  auto form = MakeWindow();
  form->show();
  form->setWindowState(Qt::WindowMinimized);
  Settle();
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(Item(form->Tray().Menu(), "ShowFromTrayAction")->isEnabled());
  EXPECT_FALSE(Item(form->Tray().Menu(), "MinimizeToTrayAction")->isEnabled());

  tray_->LeftClick();
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->isMinimized());
  EXPECT_FALSE(Item(form->Tray().Menu(), "ShowFromTrayAction")->isEnabled());
  EXPECT_TRUE(Item(form->Tray().Menu(), "MinimizeToTrayAction")->isEnabled());

  // A click while the window is shown changes nothing.
  tray_->LeftClick();
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(Item(form->Tray().Menu(), "ShowFromTrayAction")->isEnabled());
}

TEST_F(MainWindowTest, TheMenuMinimisesAndShowsAgain) {
  auto form = MakeWindow();
  form->show();
  tray_->onMenu = [](QMenu& menu) { Item(menu, "MinimizeToTrayAction")->trigger(); };
  tray_->RightClick();
  EXPECT_FALSE(form->isVisible());

  tray_->onMenu = [](QMenu& menu) { Item(menu, "ShowFromTrayAction")->trigger(); };
  tray_->RightClick();
  EXPECT_TRUE(form->isVisible());
}

TEST_F(MainWindowTest, WithoutANotificationAreaMinimisingLeavesAnOrdinaryMinimisedWindow) {
  trayAvailable_ = false;
  auto form = MakeWindow();
  form->show();
  form->setWindowState(Qt::WindowMinimized);
  Settle();
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->isMinimized());
  EXPECT_FALSE(Item(form->Tray().Menu(), "ShowFromTrayAction")->isEnabled());
  EXPECT_TRUE(Item(form->Tray().Menu(), "MinimizeToTrayAction")->isEnabled());
}

TEST_F(MainWindowTest, WhenTheAreaGoesAwayTheHiddenWindowComesBackAndHidesAgainOnceItReturns) {
  auto form = MakeWindow();
  EXPECT_FALSE(tray_->watching) << "nothing to watch for while the window is shown";
  HideInTray(*form);
  EXPECT_TRUE(tray_->watching);

  tray_->SetAvailable(false);  // the panel crashed
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->isMinimized());
  EXPECT_FALSE(Item(form->Tray().Menu(), "ShowFromTrayAction")->isEnabled());
  EXPECT_TRUE(Item(form->Tray().Menu(), "MinimizeToTrayAction")->isEnabled());
  EXPECT_FALSE(tray_->watching);

  // No area: minimising is an ordinary minimise.
  form->setWindowState(Qt::WindowMinimized);
  Settle();
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->isMinimized());

  // The panel is back: minimising hides to it again.
  tray_->SetAvailable(true);
  form->showNormal();
  HideInTray(*form);
  EXPECT_TRUE(Item(form->Tray().Menu(), "ShowFromTrayAction")->isEnabled());
}

TEST_F(MainWindowTest, ARunThatEndsUnseenSaysSoInADesktopNotification) {
  struct Case {
    const char* what;
    bool hidden;
    bool readFails;
    std::size_t notifications;
    int found;
  };
  const Case cases[] = {
      {"hidden in the tray", true, false, 1, 3},
      {"shown", false, false, 0, 3},
      {"hidden, and its last read failed: it ends all the same", true, true, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto form = MakeWindow();
    form.Run().KeywordList() = {"k"};
    AnswerInput(QStringLiteral("0"));
    form.Session().StartSearch();
    browser_->pages[browser_->navigated.back()] = "15900000001\r\n15900000002\r\n13800000003";
    browser_->failRead = c.readFails;
    if (c.hidden) {
      HideInTray(*form);
    } else {
      form->show();
    }
    if (c.readFails) AnswerMessageBox();  // the failed read's error
    TickAndRead(form);
    WaitFor([&] { return tray_->messages.size() >= c.notifications; });
    ASSERT_EQ(tray_->messages.size(), c.notifications);
    if (c.notifications == 0) continue;
    EXPECT_EQ(tray_->messages[0].first, QStringLiteral("『Kelvane』 V2.6"));
    // The notification names the file that holds the run's numbers.
    EXPECT_EQ(tray_->messages[0].second, QStringLiteral("搜索已经结束!\n共找到 %1 个手机号码\n%2")
                                             .arg(c.found)
                                             .arg(form.Session().RunFile()));
    EXPECT_EQ(Panel(*form, "StatusLine"), QStringLiteral("搜索已经结束!"));
    EXPECT_FALSE(form->isVisible()) << "the notification is all; the window stays in the tray";
  }
}

TEST_F(MainWindowTest, ASecondStartShowsTheWindowFromWhereverItWas) {
  struct Case {
    const char* what;
    bool trayAvailable;
  };
  for (const Case& c : {Case{"hidden in the tray", true}, Case{"minimised, no tray", false}}) {
    SCOPED_TRACE(c.what);
    trayAvailable_ = c.trayAvailable;
    auto form = MakeWindow();
    form->show();
    form->setWindowState(Qt::WindowMinimized);
    Settle();
    qunsetenv("XDG_ACTIVATION_TOKEN");
    form->Tray().ShowOnRequest();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_FALSE(Item(form->Tray().Menu(), "ShowFromTrayAction")->isEnabled());
    // The environment is not changed under the browser's threads.
    EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));
  }
}

TEST_F(MainWindowTest, ExitFromTheTrayAsksFirstAndNoLeavesEverythingAsItWas) {
  auto form = MakeWindow();
  form->show();
  tray_->onMenu = [](QMenu& menu) { Item(menu, "ExitAction")->trigger(); };
  auto question = AnswerMessageBox(QStringLiteral("否[&N]"));
  tray_->RightClick();
  EXPECT_EQ(question->text, QStringLiteral("确认退出Kelvane吗?"));
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(tray_->visible);  // the icon too

  AnswerMessageBox(QStringLiteral("是[&Y]"));
  tray_->RightClick();
  EXPECT_FALSE(form->isVisible());
}

TEST_F(MainWindowTest, TheRunsFileShowsWhenTheRunEndsAndItsFolderOpensFromTheTrayOrAKey) {
  auto form = MakeWindow();
  form->show();
  auto* shown = Child<QLabel>(*form, "RunFile");
  EXPECT_TRUE(shown->text().isEmpty());
  form.Run().KeywordList() = {"k"};
  AnswerInput(QStringLiteral("0"));
  form.Session().StartSearch();
  browser_->pages[browser_->navigated.back()] = "15900000001";
  TickAndRead(form);
  EXPECT_TRUE(RunEndTold(form));
  EXPECT_EQ(shown->text(), QStringLiteral("号码文件：") + form.Session().RunFile());
  EXPECT_EQ(shown->focusPolicy(),
            Qt::TabFocus);  // reached by the keyboard, read by a screen reader
  EXPECT_FALSE(shown->accessibleDescription().isEmpty());

  UrlRecorder recorder({"file"});
  Item(form->Tray().Menu(), "RunsFolderAction")->trigger();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  QTest::keySequence(form.get(), QKeySequence(Qt::CTRL | Qt::Key_R));
  const QUrl folder =
      QUrl::fromLocalFile(QString::fromStdString(dir_.Path().string()) + QStringLiteral("/runs/"));
  EXPECT_EQ(recorder.opened, (QList<QUrl>{folder, folder}));
}

TEST_F(MainWindowTest, ContactWritesToTheMakersMailbox) {
  auto form = MakeWindow();
  UrlRecorder recorder;
  Item(form->Tray().Menu(), "ContactAction")->trigger();
  ASSERT_EQ(recorder.opened.size(), 1);
  EXPECT_EQ(recorder.opened[0].scheme(), QStringLiteral("mailto"));
}

}  // namespace
