#pragma once
// A notification area that records every request in one log, refuses what a
// shell refuses (adding an icon twice, touching one that is not there), and
// lets the test play the shell's callbacks and the user's menu choice.

#include <QMenu>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/notification_area.h"

class FakeNotificationArea final : public platform::NotificationArea {
 public:
  struct Request {
    unsigned operation;
    platform::NotifyIconData data;
    bool accepted;
  };

  bool Available() override { return available; }

  platform::WindowHandle CreateIconWindow(platform::WindowProc proc) override {
    windows[++lastWindow] = std::move(proc);
    return lastWindow;
  }
  void DestroyIconWindow(platform::WindowHandle window) override {
    windows.erase(window);
    log.push_back("DestroyIconWindow");
  }
  qintptr DefWindowProc(platform::WindowHandle, const platform::WindowMessage& message) override {
    defaulted.push_back(message.msg);
    return 0;
  }

  bool ShellNotifyIcon(unsigned operation, const platform::NotifyIconData& data) override {
    if (failRequests) throw std::runtime_error("the shell went away");
    const auto key = std::make_pair(data.hWnd, data.uID);
    bool accepted = false;
    if (operation == platform::kNimAdd) accepted = shown.insert(key).second;
    if (operation == platform::kNimModify) accepted = shown.count(key) != 0;
    if (operation == platform::kNimDelete) accepted = shown.erase(key) != 0;
    requests.push_back({operation, data, accepted});
    log.push_back(operation == platform::kNimAdd ? "NIM_ADD" : operation == platform::kNimModify ? "NIM_MODIFY" : "NIM_DELETE");
    return accepted;
  }
  platform::IconHandle IconHandleOf(const QIcon& icon) override {
    if (failIconHandles) throw std::runtime_error("bad image data");
    return icon.isNull() ? 0 : static_cast<platform::IconHandle>(icon.cacheKey());
  }

  QPoint CursorPos() override { return cursor; }
  Qt::KeyboardModifiers KeyState() override { return keys; }
  void SetForegroundWindow(platform::WindowHandle window) override {
    log.push_back(window == ApplicationWindow() ? "SetForegroundWindow(application)" : "SetForegroundWindow(icon)");
  }
  platform::WindowHandle ApplicationWindow() override { return 0xA11; }
  void PostMessage(platform::WindowHandle, unsigned msg, quintptr, qintptr) override {
    log.push_back("PostMessage(" + std::to_string(msg) + ")");
  }
  void PopupMenu(QMenu& menu, QPoint at) override {
    log.push_back("PopupMenu(" + menu.objectName().toStdString() + " at " + std::to_string(at.x()) + "," +
                  std::to_string(at.y()) + ")");
    if (onPopup) onPopup(menu);
  }

  // The shell's callback for a mouse message, sent to an icon window.
  void Callback(platform::WindowHandle window, qintptr mouseMessage, unsigned msg = platform::kWmUser + 1) {
    platform::WindowMessage message{msg, 0, mouseMessage, 0};
    windows.at(window)(message);
  }
  // The same for the one icon window there is.
  void Callback(qintptr mouseMessage) { Callback(windows.begin()->first, mouseMessage); }

  bool available = true;
  bool failRequests = false;
  bool failIconHandles = false;
  QPoint cursor{640, 790};
  Qt::KeyboardModifiers keys;
  std::function<void(QMenu&)> onPopup;  // what the user does with an open menu

  std::vector<std::string> log;  // requests and calls, in order
  std::vector<Request> requests;
  std::vector<unsigned> defaulted;
  std::set<std::pair<platform::WindowHandle, std::uint32_t>> shown;
  std::map<platform::WindowHandle, platform::WindowProc> windows;
  platform::WindowHandle lastWindow = 0;
};
