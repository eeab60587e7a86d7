#include "platform/qt_notification_area.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QWidget>

#include "platform/gbk_codec.h"

namespace platform {
namespace {

// The application's own window: there is no hidden task-bar window on
// Linux, so the number stands for "the program's main window".
constexpr WindowHandle kApplicationWindow = 0x7FFF0000;

}  // namespace

QtNotificationArea::QtNotificationArea() = default;
QtNotificationArea::~QtNotificationArea() = default;

bool QtNotificationArea::Available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

WindowHandle QtNotificationArea::CreateIconWindow(WindowProc proc) {
  const WindowHandle window = nextWindow_++;
  windows_[window] = std::move(proc);
  return window;
}

void QtNotificationArea::DestroyIconWindow(WindowHandle window) {
  windows_.erase(window);
  for (auto it = icons_.begin(); it != icons_.end();) it = it->first.window == window ? icons_.erase(it) : std::next(it);
}

qintptr QtNotificationArea::DefWindowProc(WindowHandle, const WindowMessage&) { return 0; }

void QtNotificationArea::Apply(QSystemTrayIcon& icon, const NotifyIconData& data) {
  const auto picture = pictures_.find(data.hIcon);
  icon.setIcon((data.uFlags & kNifIcon) && picture != pictures_.end() ? picture->second : QIcon());
  if (data.uFlags & kNifTip) icon.setToolTip(FromGbk(std::string_view(data.szTip.data())));
}

bool QtNotificationArea::ShellNotifyIcon(unsigned operation, const NotifyIconData& data) {
  const Key key{data.hWnd, data.uID};
  const auto it = icons_.find(key);
  switch (operation) {
    case kNimAdd: {
      if (it != icons_.end() || !windows_.count(data.hWnd)) return false;
      Shown shown{std::make_unique<QSystemTrayIcon>(), data.uCallbackMessage};
      Apply(*shown.icon, data);
      connect(shown.icon.get(), &QSystemTrayIcon::activated, this,
              [this, key](QSystemTrayIcon::ActivationReason reason) { Activate(key.window, key.id, reason); });
      shown.icon->show();
      icons_[key] = std::move(shown);
      return true;
    }
    case kNimModify:
      if (it == icons_.end()) return false;
      Apply(*it->second.icon, data);
      it->second.callbackMessage = data.uCallbackMessage;
      return true;
    case kNimDelete:
      if (it == icons_.end()) return false;
      it->second.icon->hide();
      icons_.erase(it);
      return true;
    default:
      return false;
  }
}

IconHandle QtNotificationArea::IconHandleOf(const QIcon& icon) {
  if (icon.isNull()) return 0;
  const auto handle = static_cast<IconHandle>(icon.cacheKey());
  pictures_.try_emplace(handle, icon);
  return handle;
}

void QtNotificationArea::Activate(WindowHandle window, std::uint32_t id, QSystemTrayIcon::ActivationReason reason) {
  const auto it = icons_.find({window, id});
  if (it == icons_.end()) return;
  const unsigned callback = it->second.callbackMessage;
  auto send = [&](unsigned mouse) { Send(window, callback, id, mouse); };
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      send(kWmLButtonDown);
      send(kWmLButtonUp);
      break;
    case QSystemTrayIcon::DoubleClick:
      send(kWmLButtonDblClk);
      send(kWmLButtonUp);
      break;
    case QSystemTrayIcon::Context:
      send(kWmRButtonDown);
      send(kWmRButtonUp);
      break;
    case QSystemTrayIcon::MiddleClick:
      send(kWmMButtonDown);
      send(kWmMButtonUp);
      break;
    case QSystemTrayIcon::Unknown:
      break;
  }
}

void QtNotificationArea::Send(WindowHandle window, unsigned msg, quintptr wParam, qintptr lParam) {
  const auto it = windows_.find(window);
  if (it == windows_.end()) return;
  WindowMessage message{msg, wParam, lParam, 0};
  const WindowProc proc = it->second;  // the window may go while it runs
  proc(message);
}

QPoint QtNotificationArea::CursorPos() { return QCursor::pos(); }

Qt::KeyboardModifiers QtNotificationArea::KeyState() { return QGuiApplication::queryKeyboardModifiers(); }

void QtNotificationArea::SetForegroundWindow(WindowHandle window) {
  // Bringing the program forward is what lets its menu close when the user
  // clicks elsewhere; the icon's own hidden window needs nothing here.
  if (window != kApplicationWindow) return;
  if (QWidget* active = QApplication::activeWindow()) active->activateWindow();
}

WindowHandle QtNotificationArea::ApplicationWindow() { return kApplicationWindow; }

void QtNotificationArea::PostMessage(WindowHandle window, unsigned msg, quintptr wParam, qintptr lParam) {
  QMetaObject::invokeMethod(this, [this, window, msg, wParam, lParam] { Send(window, msg, wParam, lParam); },
                            Qt::QueuedConnection);
}

void QtNotificationArea::PopupMenu(QMenu& menu, QPoint at) { menu.exec(at); }

}  // namespace platform
