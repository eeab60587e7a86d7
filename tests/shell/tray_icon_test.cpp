// The tray icon component against a recording notification area: the shell
// requests it makes with their icon record, and its events, in order.

#include <gtest/gtest.h>

#include <QMenu>
#include <memory>

#include "fake_notification_area.h"
#include "platform/qt_notification_area.h"
#include "shell/antTaskbarIcon.h"

namespace shell {
namespace {

using platform::kWmLButtonDblClk;
using platform::kWmLButtonDown;
using platform::kWmLButtonUp;
using platform::kWmRButtonDown;
using platform::kWmRButtonUp;
using Log = std::vector<std::string>;

class TrayIconTest : public testing::Test {
 protected:
  TrayIconTest() : icon_(std::make_unique<TantTaskbarIcon>(nullptr, area_)) {
    icon_->setObjectName(QStringLiteral("antTaskbarIcon1"));
    sender_ = icon_.get();
    auto note = [this](const char* what) { return [this, what](QObject* sender) { Note(sender, what); }; };
    icon_->OnClick = note("OnClick");
    icon_->OnDblClick = note("OnDblClick");
    icon_->OnPopupMenu = note("OnPopupMenu");
    icon_->OnShow = note("OnShow");
    icon_->OnHide = note("OnHide");
    auto mouse = [this](const char* what) {
      return [this, what](QObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
        Note(sender, what);
        mouse_.push_back({button, shift, x, y});
      };
    };
    icon_->OnMouseDown = mouse("OnMouseDown");
    icon_->OnMouseUp = mouse("OnMouseUp");
  }

  void Note(QObject* sender, const char* what) {
    EXPECT_EQ(sender, sender_);
    area_.log.emplace_back(what);
  }
  Log TakeLog() { return std::exchange(area_.log, {}); }

  struct Mouse {
    TMouseButton button;
    TShiftState shift;
    int x, y;
  };

  FakeNotificationArea area_;
  std::unique_ptr<TantTaskbarIcon> icon_;
  std::vector<Mouse> mouse_;
  QObject* sender_ = nullptr;  // events come from the icon, also while it is freed
};

TEST_F(TrayIconTest, StartsHiddenEnabledAndAsksTheShellNothing) {
  EXPECT_FALSE(icon_->Visible());
  EXPECT_TRUE(icon_->Enabled());
  EXPECT_EQ(icon_->IconID(), 0);
  EXPECT_EQ(icon_->ImageIndex(), 0);
  EXPECT_EQ(icon_->IconFlags(), 5u);  // NIF_MESSAGE + NIF_TIP
  EXPECT_TRUE(icon_->Hint().empty());
  EXPECT_EQ(icon_->PopupMenu(), nullptr);
  EXPECT_NE(icon_->IconWindow(), 0u);
  EXPECT_TRUE(area_.requests.empty());
}

TEST_F(TrayIconTest, ShowingAndHidingSendTheWholeRecord) {
  const QIcon picture(QStringLiteral(":/icons/kelvane.svg"));
  icon_->SetIcon(picture);
  icon_->SetHint("tip");
  icon_->SetVisible(true);
  icon_->SetVisible(true);  // unchanged: nothing
  icon_->SetVisible(false);
  EXPECT_EQ(TakeLog(), (Log{"NIM_MODIFY", "NIM_MODIFY", "NIM_ADD", "OnShow", "NIM_DELETE", "OnHide"}));

  const auto& add = area_.requests[2].data;
  EXPECT_EQ(add.cbSize, 88u);
  EXPECT_EQ(add.hWnd, icon_->IconWindow());
  EXPECT_EQ(add.uID, 0u);
  EXPECT_EQ(add.uFlags, 7u);  // with NIF_ICON while shown
  EXPECT_EQ(add.uCallbackMessage, 1025u);
  EXPECT_EQ(add.hIcon, static_cast<platform::IconHandle>(picture.cacheKey()));
  EXPECT_STREQ(add.szTip.data(), "tip");
  EXPECT_EQ(area_.requests[3].data.uFlags, 5u);
  EXPECT_FALSE(area_.requests[0].accepted);  // modifying a hidden icon: refused, and ignored
  EXPECT_EQ(icon_->IconFlags(), 5u);
}

TEST_F(TrayIconTest, TheHintIsCutToSixtyThreeBytes) {
  icon_->SetHint(std::string(70, 'h'));
  EXPECT_EQ(icon_->Hint(), std::string(63, 'h'));
  EXPECT_EQ(std::string(area_.requests.back().data.szTip.data()), std::string(63, 'h'));
  // Bytes, not characters: a GBK character may be cut in half.
  std::string chinese;
  for (int i = 0; i < 32; ++i) chinese += "\xCA\xD6";
  icon_->SetHint(chinese);
  EXPECT_EQ(icon_->Hint().size(), 63u);
}

TEST_F(TrayIconTest, ADoubleClickRaisesDownUpClickDoubleClickUp) {
  icon_->SetVisible(true);
  TakeLog();
  for (const auto message : {kWmLButtonDown, kWmLButtonUp, kWmLButtonDblClk, kWmLButtonUp}) area_.Callback(message);
  EXPECT_EQ(TakeLog(), (Log{"OnMouseDown", "SetForegroundWindow(application)", "OnMouseUp", "OnClick", "OnDblClick",
                            "SetForegroundWindow(application)", "OnMouseUp"}));
}

TEST_F(TrayIconTest, MouseEventsCarryTheButtonTheKeysAndTheCursor) {
  area_.keys = Qt::ShiftModifier | Qt::ControlModifier;
  area_.cursor = QPoint(1200, 780);
  area_.Callback(kWmLButtonDown);
  area_.keys = Qt::AltModifier;
  area_.Callback(kWmRButtonDown);
  ASSERT_EQ(mouse_.size(), 2u);
  EXPECT_EQ(mouse_[0].button, TMouseButton::mbLeft);
  EXPECT_EQ(mouse_[0].shift, ssShift | ssCtrl | ssLeft);
  EXPECT_EQ(mouse_[0].x, 1200);
  EXPECT_EQ(mouse_[0].y, 780);
  EXPECT_EQ(mouse_[1].button, TMouseButton::mbRight);
  EXPECT_EQ(mouse_[1].shift, ssAlt | ssRight);
}

TEST_F(TrayIconTest, ARightClickPopsTheMenuUpAtTheCursor) {
  QMenu menu;
  menu.setObjectName(QStringLiteral("PopupMenu1"));
  icon_->SetPopupMenu(&menu);
  area_.Callback(kWmRButtonDown);
  area_.Callback(kWmRButtonUp);
  EXPECT_EQ(TakeLog(), (Log{"SetForegroundWindow(icon)", "OnMouseDown", "PopupMenu(PopupMenu1 at 640,790)",
                            "PostMessage(0)", "OnPopupMenu", "SetForegroundWindow(application)", "OnMouseUp"}));
}

TEST_F(TrayIconTest, WithoutAMenuARightClickOnlyRaisesTheMouseEvents) {
  {
    QMenu menu;
    icon_->SetPopupMenu(&menu);
  }  // the menu goes; the icon forgets it
  EXPECT_EQ(icon_->PopupMenu(), nullptr);
  area_.Callback(kWmRButtonDown);
  area_.Callback(kWmRButtonUp);
  EXPECT_EQ(TakeLog(), (Log{"SetForegroundWindow(icon)", "OnMouseDown", "SetForegroundWindow(application)", "OnMouseUp"}));
}

TEST_F(TrayIconTest, DisabledItStaysButIgnoresClicks) {
  QMenu menu;
  icon_->SetPopupMenu(&menu);
  icon_->SetVisible(true);
  icon_->SetEnabled(false);
  TakeLog();
  for (const auto message : {kWmLButtonDown, kWmLButtonUp, kWmRButtonDown, kWmRButtonUp}) area_.Callback(message);
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_EQ(area_.defaulted.size(), 4u);  // each went to default processing
  EXPECT_TRUE(icon_->Visible());
}

TEST_F(TrayIconTest, MovesAndOtherMessagesDoNothing) {
  icon_->SetVisible(true);
  TakeLog();
  area_.Callback(platform::kWmMouseMove);
  area_.Callback(platform::kWmMButtonDown);
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_TRUE(area_.defaulted.empty());  // no default processing either
  // Any other message, the shell's "TaskbarCreated" after its restart
  // among them, gets default processing: the icon is not added again.
  area_.Callback(icon_->IconWindow(), 0, 0xC0F3);
  EXPECT_EQ(area_.defaulted, std::vector<unsigned>{0xC0F3});
  EXPECT_TRUE(TakeLog().empty());
}

TEST_F(TrayIconTest, ANewIdMovesAShownIconAndOnlyRecordsItForAHiddenOne) {
  icon_->SetIconID(3);
  EXPECT_TRUE(TakeLog().empty());
  icon_->SetVisible(true);
  TakeLog();
  icon_->SetIconID(3);  // unchanged
  icon_->SetIconID(7);
  EXPECT_EQ(TakeLog(), (Log{"NIM_DELETE", "OnHide", "NIM_ADD", "OnShow"}));
  const auto& requests = area_.requests;
  EXPECT_EQ(requests[requests.size() - 2].data.uID, 3u);
  EXPECT_EQ(requests.back().data.uID, 7u);
  EXPECT_TRUE(icon_->Visible());
}

TEST_F(TrayIconTest, AfterLoadingAVisibleIconIsShownOnceMore) {
  icon_->Loaded();
  EXPECT_TRUE(TakeLog().empty());
  icon_->SetVisible(true);
  icon_->Loaded();
  EXPECT_EQ(TakeLog(), (Log{"NIM_ADD", "OnShow", "NIM_ADD", "OnShow"}));
  EXPECT_FALSE(area_.requests.back().accepted);  // already there: refused, ignored
}

TEST_F(TrayIconTest, PicturesComeFromTheImageList) {
  const QList<QIcon> images{QIcon(QStringLiteral(":/icons/save.svg")), QIcon(QStringLiteral(":/icons/stop.svg"))};
  icon_->SetImageIndex(1);  // no list yet: nothing
  EXPECT_TRUE(area_.requests.empty());
  icon_->SetImageList(&images);
  EXPECT_EQ(icon_->Icon().cacheKey(), images[1].cacheKey());
  EXPECT_EQ(area_.requests.back().operation, platform::kNimModify);
  icon_->SetImageIndex(5);  // out of the list: an empty icon
  EXPECT_TRUE(icon_->Icon().isNull());
  EXPECT_EQ(area_.requests.back().data.hIcon, 0u);
}

TEST_F(TrayIconTest, FailedRequestsRaiseTheComponentsOwnError) {
  area_.failRequests = true;
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { icon_->SetHint("x"); }, "antTaskbarIcon1.UpDate failed"},
      {[&] { icon_->SetVisible(true); }, "antTaskbarIcon1.AddToTaskbar failed"},
      {[&] { icon_->HideIcon(); }, "antTaskbarIcon1.DeleteFromTaskbar failed"},
  };
  for (const auto& [action, message] : cases) {
    try {
      action();
      ADD_FAILURE() << message;
    } catch (const EantTaskbarIcon& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
  area_.failRequests = false;
  area_.failIconHandles = true;  // the picture cannot be made
  EXPECT_THROW(icon_->SetIcon(QIcon(QStringLiteral(":/icons/save.svg"))), EantTaskbarIcon);
}

TEST_F(TrayIconTest, FreeingAShownIconDeletesItAndRaisesOnHide) {
  icon_->SetVisible(true);
  TakeLog();
  icon_.reset();
  EXPECT_EQ(TakeLog(), (Log{"NIM_DELETE", "OnHide", "DestroyIconWindow"}));
  EXPECT_TRUE(area_.shown.empty());
}

TEST(QtNotificationArea, TurnsActivationsIntoTheShellsMessageSequences) {
  platform::QtNotificationArea area;
  std::vector<qintptr> received;
  const auto window = area.CreateIconWindow([&](platform::WindowMessage& m) {
    EXPECT_EQ(m.msg, 1025u);
    EXPECT_EQ(m.wParam, 4u);
    received.push_back(m.lParam);
  });
  platform::NotifyIconData data;
  data.hWnd = window;
  data.uID = 4;
  data.uFlags = platform::kNifMessage | platform::kNifTip;
  data.uCallbackMessage = 1025;
  EXPECT_TRUE(area.ShellNotifyIcon(platform::kNimAdd, data));
  EXPECT_FALSE(area.ShellNotifyIcon(platform::kNimAdd, data));  // already there

  area.Activate(window, 4, QSystemTrayIcon::Trigger);
  area.Activate(window, 4, QSystemTrayIcon::DoubleClick);
  area.Activate(window, 4, QSystemTrayIcon::Context);
  EXPECT_EQ(received, (std::vector<qintptr>{kWmLButtonDown, kWmLButtonUp, kWmLButtonDblClk, kWmLButtonUp,
                                            kWmRButtonDown, kWmRButtonUp}));

  EXPECT_TRUE(area.ShellNotifyIcon(platform::kNimDelete, data));
  EXPECT_FALSE(area.ShellNotifyIcon(platform::kNimModify, data));
  area.Activate(window, 4, QSystemTrayIcon::Trigger);  // gone: nothing arrives
  EXPECT_EQ(received.size(), 6u);
}

TEST(QtNotificationArea, TheComponentSeesAQtDoubleClickInTheShellsOrder) {
  // Qt reports a double click as Trigger, then DoubleClick.
  platform::QtNotificationArea area;
  TantTaskbarIcon icon(nullptr, area);
  std::vector<std::string> events;
  icon.OnMouseDown = [&](QObject*, TMouseButton, TShiftState, int, int) { events.push_back("down"); };
  icon.OnMouseUp = [&](QObject*, TMouseButton, TShiftState, int, int) { events.push_back("up"); };
  icon.OnClick = [&](QObject*) { events.push_back("click"); };
  icon.OnDblClick = [&](QObject*) { events.push_back("dblclick"); };
  icon.SetVisible(true);
  area.Activate(icon.IconWindow(), 0, QSystemTrayIcon::Trigger);
  area.Activate(icon.IconWindow(), 0, QSystemTrayIcon::DoubleClick);
  EXPECT_EQ(events, (std::vector<std::string>{"down", "up", "click", "dblclick", "up"}));
}

}  // namespace
}  // namespace shell
