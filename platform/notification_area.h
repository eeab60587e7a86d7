#pragma once
// The desktop's notification area as the tray component speaks to it: the
// shell's notify-icon requests with their icon record, the hidden window that
// receives the shell's callback messages, and the few window-system calls the
// component makes around them. The Qt adapter stands on QSystemTrayIcon;
// tests stand on a fake that records every request.

#include <QIcon>
#include <QPoint>
#include <array>
#include <cstdint>
#include <functional>

class QMenu;

namespace platform {

using WindowHandle = quintptr;
using IconHandle = quintptr;

// Shell_NotifyIcon operations and record flags.
inline constexpr unsigned kNimAdd = 0;
inline constexpr unsigned kNimModify = 1;
inline constexpr unsigned kNimDelete = 2;
inline constexpr std::uint32_t kNifMessage = 1;
inline constexpr std::uint32_t kNifIcon = 2;
inline constexpr std::uint32_t kNifTip = 4;

// Window messages.
inline constexpr unsigned kWmNull = 0x0000;
inline constexpr unsigned kWmUser = 0x0400;
inline constexpr unsigned kWmMouseMove = 0x0200;
inline constexpr unsigned kWmLButtonDown = 0x0201;
inline constexpr unsigned kWmLButtonUp = 0x0202;
inline constexpr unsigned kWmLButtonDblClk = 0x0203;
inline constexpr unsigned kWmRButtonDown = 0x0204;
inline constexpr unsigned kWmRButtonUp = 0x0205;
inline constexpr unsigned kWmMButtonDown = 0x0207;
inline constexpr unsigned kWmMButtonUp = 0x0208;

// The notify-icon record in its first, 88-byte layout.
struct NotifyIconData {
  std::uint32_t cbSize = 88;
  WindowHandle hWnd = 0;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = 0;
  std::uint32_t uCallbackMessage = 0;
  IconHandle hIcon = 0;
  std::array<char, 64> szTip{};  // GBK, ending in a zero byte
};

struct WindowMessage {
  unsigned msg = 0;
  quintptr wParam = 0;
  qintptr lParam = 0;
  qintptr result = 0;
};

using WindowProc = std::function<void(WindowMessage&)>;

class NotificationArea {
 public:
  virtual ~NotificationArea() = default;

  // Whether the desktop has a notification area at all.
  virtual bool Available() = 0;

  // A hidden window whose every message goes to `proc`.
  virtual WindowHandle CreateIconWindow(WindowProc proc) = 0;
  virtual void DestroyIconWindow(WindowHandle window) = 0;
  // The default processing of a message no one acts on.
  virtual qintptr DefWindowProc(WindowHandle window, const WindowMessage& message) = 0;

  // Add, modify or delete an icon; false when the shell refuses.
  virtual bool ShellNotifyIcon(unsigned operation, const NotifyIconData& data) = 0;
  // The handle of an icon's picture (made on first request); 0 for none.
  virtual IconHandle IconHandleOf(const QIcon& icon) = 0;

  virtual QPoint CursorPos() = 0;
  // Which of Shift, Ctrl and Alt are down at this moment.
  virtual Qt::KeyboardModifiers KeyState() = 0;
  virtual void SetForegroundWindow(WindowHandle window) = 0;
  // The application's own (task-bar) window.
  virtual WindowHandle ApplicationWindow() = 0;
  virtual void PostMessage(WindowHandle window, unsigned msg, quintptr wParam, qintptr lParam) = 0;
  // Pops `menu` up at `at`; returns when it has closed.
  virtual void PopupMenu(QMenu& menu, QPoint at) = 0;
};

}  // namespace platform
