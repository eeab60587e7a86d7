#pragma once
// The notification area over QSystemTrayIcon. Qt tells of a click on the
// icon as an activation; the adapter turns each one into the callback
// messages a Windows shell sends for it, so the tray component sees the same
// sequences: a left click is Trigger (left down, left up), a double click is
// Trigger then DoubleClick (left double-click, left up), a right click is
// Context (right down, right up).

#include <QObject>
#include <QSystemTrayIcon>
#include <map>
#include <memory>

#include "platform/notification_area.h"

namespace platform {

class QtNotificationArea final : public QObject, public NotificationArea {
  Q_OBJECT
 public:
  QtNotificationArea();
  ~QtNotificationArea() override;

  bool Available() override;
  WindowHandle CreateIconWindow(WindowProc proc) override;
  void DestroyIconWindow(WindowHandle window) override;
  qintptr DefWindowProc(WindowHandle window, const WindowMessage& message) override;
  bool ShellNotifyIcon(unsigned operation, const NotifyIconData& data) override;
  IconHandle IconHandleOf(const QIcon& icon) override;
  QPoint CursorPos() override;
  Qt::KeyboardModifiers KeyState() override;
  void SetForegroundWindow(WindowHandle window) override;
  WindowHandle ApplicationWindow() override;
  void PostMessage(WindowHandle window, unsigned msg, quintptr wParam, qintptr lParam) override;
  void PopupMenu(QMenu& menu, QPoint at) override;

  // Delivers the callback messages of one activation (also for tests).
  void Activate(WindowHandle window, std::uint32_t id, QSystemTrayIcon::ActivationReason reason);

 private:
  struct Key {
    WindowHandle window;
    std::uint32_t id;
    bool operator<(const Key& other) const {
      return window != other.window ? window < other.window : id < other.id;
    }
  };
  struct Shown {
    std::unique_ptr<QSystemTrayIcon> icon;
    std::uint32_t callbackMessage = 0;
  };

  void Apply(QSystemTrayIcon& icon, const NotifyIconData& data);
  void Send(WindowHandle window, unsigned msg, quintptr wParam, qintptr lParam);

  WindowHandle nextWindow_ = 1;
  std::map<WindowHandle, WindowProc> windows_;
  std::map<Key, Shown> icons_;
  std::map<IconHandle, QIcon> pictures_;
};

}  // namespace platform
