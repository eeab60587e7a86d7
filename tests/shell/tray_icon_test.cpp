// The tray icon component against a recording notification-area icon: what
// it changes there, and its signals, in order.

#include "shell/tray_icon.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <memory>

#include "../harvest/gbk.h"
#include "fake_notification_icon.h"
#include "platform/gbk_codec.h"
#include "platform/qt_notification_icon.h"

namespace shell {
namespace {

using Log = std::vector<std::string>;
using Reason = QSystemTrayIcon::ActivationReason;

std::string ButtonName(Qt::MouseButton button) {
  return button == Qt::LeftButton ? "left" : "right";
}

// Writes every signal of `icon` into `log`, in the order they come.
void Record(TrayIcon& icon, Log& log) {
  auto note = [&log](const char* what) { return [&log, what] { log.emplace_back(what); }; };
  QObject::connect(&icon, &TrayIcon::Clicked, note("Clicked"));
  QObject::connect(&icon, &TrayIcon::DoubleClicked, note("DoubleClicked"));
  QObject::connect(&icon, &TrayIcon::MenuClosed, note("MenuClosed"));
  QObject::connect(&icon, &TrayIcon::Shown, note("Shown"));
  QObject::connect(&icon, &TrayIcon::Hidden, note("Hidden"));
  QObject::connect(&icon, &TrayIcon::MousePressed,
                   [&log](Qt::MouseButton button, Qt::KeyboardModifiers, QPoint) {
                     log.push_back("MousePressed(" + ButtonName(button) + ")");
                   });
  QObject::connect(&icon, &TrayIcon::MouseReleased,
                   [&log](Qt::MouseButton button, Qt::KeyboardModifiers, QPoint) {
                     log.push_back("MouseReleased(" + ButtonName(button) + ")");
                   });
}

class TrayIconTest : public testing::Test {
 protected:
  TrayIconTest() : icon_(std::make_unique<TrayIcon>(area_)) {
    icon_->setObjectName(QStringLiteral("TrayIcon"));
    menu_.setObjectName(QStringLiteral("TrayMenu"));
    Record(*icon_, area_.log);
  }
  Log TakeLog() { return std::exchange(area_.log, {}); }

  FakeNotificationIcon area_;
  QMenu menu_;
  std::unique_ptr<TrayIcon> icon_;
};

TEST_F(TrayIconTest, StartsHiddenEnabledAndTouchesNothing) {
  EXPECT_FALSE(icon_->Visible());
  EXPECT_TRUE(icon_->Enabled());
  EXPECT_TRUE(icon_->Hint().empty());
  EXPECT_EQ(icon_->PopupMenu(), nullptr);
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_FALSE(area_.visible);
}

TEST_F(TrayIconTest, ShowingAndHidingChangeTheAreaOnlyWhenTheStateChanges) {
  const QIcon picture(QStringLiteral(":/icons/kelvane.svg"));
  icon_->SetIcon(picture);
  icon_->SetHint("tip");
  icon_->SetVisible(true);
  icon_->SetVisible(true);  // unchanged: nothing
  EXPECT_TRUE(area_.visible);
  icon_->SetVisible(false);
  icon_->SetVisible(false);
  EXPECT_EQ(TakeLog(), (Log{"SetIcon", "SetToolTip", "SetVisible(true)", "Shown",
                            "SetVisible(false)", "Hidden"}));
  EXPECT_FALSE(area_.visible);
  EXPECT_EQ(area_.icon.cacheKey(), picture.cacheKey());
  EXPECT_EQ(area_.toolTip, QStringLiteral("tip"));
}

TEST_F(TrayIconTest, TheHintIsCutToSixtyThreeBytes) {
  icon_->SetHint(std::string(70, 'h'));
  EXPECT_EQ(icon_->Hint(), std::string(63, 'h'));
  EXPECT_EQ(area_.toolTip, QString(63, QLatin1Char('h')));
  // Bytes, not characters: the 32nd GBK character is cut in half.
  std::string chinese;
  for (int i = 0; i < 32; ++i) chinese += Gbk("手");
  icon_->SetHint(chinese);
  EXPECT_EQ(icon_->Hint(), chinese.substr(0, 63));
  EXPECT_EQ(area_.toolTip, platform::FromGbk(chinese.substr(0, 63)));
  EXPECT_TRUE(area_.toolTip.startsWith(QString(31, QChar(0x624B))));
}

struct Clicks {
  const char* what;
  std::vector<Reason> activations;
  Log signals_;
};

TEST_F(TrayIconTest, ClicksBecomeMouseSignalsInTheirOrder) {
  const Clicks cases[] = {
      {"left click", {Reason::Trigger}, {"MousePressed(left)", "MouseReleased(left)", "Clicked"}},
      // Qt reports a double click as a Trigger, then a DoubleClick; Clicked comes once.
      {"double click",
       {Reason::Trigger, Reason::DoubleClick},
       {"MousePressed(left)", "MouseReleased(left)", "Clicked", "DoubleClicked",
        "MouseReleased(left)"}},
      {"right click without a menu",
       {Reason::Context},
       {"MousePressed(right)", "MouseReleased(right)"}},
      {"middle click", {Reason::MiddleClick}, {}},
      {"unknown", {Reason::Unknown}, {}},
  };
  icon_->SetVisible(true);
  TakeLog();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const Reason reason : c.activations) area_.Click(reason);
    EXPECT_EQ(TakeLog(), c.signals_);
  }
}

TEST_F(TrayIconTest, MouseSignalsCarryTheButtonTheKeysAndTheCursor) {
  struct Seen {
    Qt::MouseButton button;
    Qt::KeyboardModifiers keys;
    QPoint at;
  };
  std::vector<Seen> seen;
  QObject::connect(icon_.get(), &TrayIcon::MousePressed,
                   [&](Qt::MouseButton b, Qt::KeyboardModifiers k, QPoint at) {
                     seen.push_back({b, k, at});
                   });
  area_.keys =
      Qt::ShiftModifier | Qt::ControlModifier | Qt::KeypadModifier;  // only Shift, Ctrl, Alt count
  area_.cursor = QPoint(1200, 780);
  area_.LeftClick();
  area_.keys = Qt::AltModifier;
  area_.RightClick();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].button, Qt::LeftButton);
  EXPECT_EQ(seen[0].keys, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(seen[0].at, QPoint(1200, 780));
  EXPECT_EQ(seen[1].button, Qt::RightButton);
  EXPECT_EQ(seen[1].keys, Qt::AltModifier);
}

TEST_F(TrayIconTest, TheDesktopGetsTheMenuAndItsClosingIsReported) {
  icon_->SetPopupMenu(&menu_);
  EXPECT_EQ(area_.contextMenu, &menu_);
  area_.onMenu = [this](QMenu& shown) {
    EXPECT_EQ(&shown, &menu_);
    area_.log.emplace_back("user picks");
  };
  area_.RightClick();
  EXPECT_EQ(TakeLog(), (Log{"menu TrayMenu", "MousePressed(right)", "MouseReleased(right)",
                            "user picks", "MenuClosed"}));

  {
    QMenu passing;
    icon_->SetPopupMenu(&passing);
  }  // the menu goes; the icon and the desktop forget it
  EXPECT_EQ(icon_->PopupMenu(), nullptr);
  EXPECT_EQ(area_.contextMenu, nullptr);
  area_.RightClick();
  EXPECT_EQ(TakeLog(), (Log{"MousePressed(right)", "MouseReleased(right)"}));
}

TEST_F(TrayIconTest, DisabledItStaysButIgnoresClicksAndOffersNoMenu) {
  icon_->SetPopupMenu(&menu_);
  icon_->SetVisible(true);
  icon_->SetEnabled(false);
  TakeLog();
  EXPECT_EQ(area_.contextMenu, nullptr);
  for (const Reason reason : {Reason::Trigger, Reason::DoubleClick, Reason::Context})
    area_.Click(reason);
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_TRUE(icon_->Visible());

  icon_->SetEnabled(true);
  EXPECT_EQ(area_.contextMenu, &menu_);
  area_.LeftClick();
  EXPECT_EQ(TakeLog(), (Log{"MousePressed(left)", "MouseReleased(left)", "Clicked"}));
}

TEST_F(TrayIconTest, FinishingSetUpShowsAVisibleIconOnceMore) {
  icon_->FinishSetUp();
  EXPECT_TRUE(TakeLog().empty());
  icon_->SetVisible(true);
  icon_->FinishSetUp();
  EXPECT_EQ(TakeLog(), (Log{"SetVisible(true)", "Shown", "SetVisible(true)", "Shown"}));
}

TEST_F(TrayIconTest, FailedChangesRaiseTheComponentsOwnError) {
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { icon_->SetHint("x"); }, "TrayIcon.UpDate failed"},
      {[&] { icon_->SetIcon(QIcon(QStringLiteral(":/icons/save.svg"))); },
       "TrayIcon.UpDate failed"},
      {[&] { icon_->SetVisible(true); }, "TrayIcon.AddToTaskbar failed"},
  };
  area_.failChanges = true;
  for (const auto& [action, message] : cases) {
    try {
      action();
      ADD_FAILURE() << message;
    } catch (const TrayIconError& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
  area_.failChanges = false;
  icon_->SetVisible(false);
  icon_->SetVisible(true);
  area_.failChanges = true;
  EXPECT_THROW(icon_->SetVisible(false), TrayIconError);
  area_.failChanges = false;
}

TEST_F(TrayIconTest, FreeingAShownIconTakesItOutOfTheArea) {
  icon_->SetPopupMenu(&menu_);
  icon_->SetVisible(true);
  TakeLog();
  icon_.reset();
  EXPECT_EQ(TakeLog(), (Log{"SetVisible(false)", "Hidden"}));
  EXPECT_FALSE(area_.visible);
  EXPECT_EQ(area_.contextMenu, nullptr);
}

TEST(QtNotificationIcon, PassesEverythingToQSystemTrayIconAndItsClicksBack) {
  platform::QtNotificationIcon area;
  auto* qt = area.findChild<QSystemTrayIcon*>();
  ASSERT_NE(qt, nullptr);
  TrayIcon icon(area);
  QMenu menu;
  icon.SetHint(Gbk("『Kelvane』 V2.6"));
  icon.SetIcon(QIcon(QStringLiteral(":/icons/kelvane.svg")));
  icon.SetPopupMenu(&menu);
  EXPECT_EQ(qt->toolTip(), QStringLiteral("『Kelvane』 V2.6"));
  EXPECT_FALSE(qt->icon().isNull());
  EXPECT_EQ(qt->contextMenu(), &menu);

  Log log;
  Record(icon, log);
  Q_EMIT qt->activated(QSystemTrayIcon::Trigger);
  Q_EMIT qt->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_EQ(log, (Log{"MousePressed(left)", "MouseReleased(left)", "Clicked", "DoubleClicked",
                      "MouseReleased(left)"}));
}

}  // namespace
}  // namespace shell
