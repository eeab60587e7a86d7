#pragma once
// TrayIcon: the program's icon in the notification area. It keeps the
// picture, the hint, whether the icon is shown and whether it answers
// clicks, and turns the desktop's activations into mouse signals in the
// order the program's handlers rely on:
//
//   left click    MousePressed, MouseReleased, Clicked
//   double click  the same, then DoubleClicked, MouseReleased
//   right click   MousePressed, MouseReleased; the desktop shows PopupMenu,
//                 MenuClosed when it goes
//
// Mouse moves and the middle button raise nothing.

#include <QIcon>
#include <QMenu>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <string>

#include "harvest/errors.h"
#include "platform/notification_icon.h"

namespace shell {

// A change the notification area did not take: "<name>.UpDate failed",
// "<name>.AddToTaskbar failed" or "<name>.DeleteFromTaskbar failed", named by
// the component's objectName(); the texts are the ones users have always seen.
class TrayIconError : public harvest::Exception {
 public:
  using Exception::Exception;
};

class TrayIcon final : public QObject {
  Q_OBJECT
 public:
  static constexpr std::size_t kMaxHintBytes = 63;

  // `icon` must outlive the component.
  explicit TrayIcon(platform::NotificationIcon& icon, QObject* parent = nullptr);
  // A shown icon leaves the notification area (Hidden is raised).
  ~TrayIcon() override;

  // Whether the desktop has a notification area to show the icon in.
  bool Available() const { return icon_.Available(); }

  const QIcon& Icon() const { return picture_; }
  void SetIcon(const QIcon& picture);
  // Shows or hides the icon, then raises Shown or Hidden; writing the
  // current value does nothing.
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // While off, the icon stays but clicks raise nothing and open no menu.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // The tool tip, GBK bytes, cut to its first 63 bytes (a character may be
  // cut in half).
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint);
  // Not owned; forgotten when the menu goes.
  QMenu* PopupMenu() const { return menu_; }
  void SetPopupMenu(QMenu* menu);

  // After the owner has set the properties it was made with: a visible icon
  // is shown once more, and Shown raised again.
  void FinishSetUp();

 Q_SIGNALS:
  void MousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint at);
  void MouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint at);
  void Clicked();
  void DoubleClicked();
  void MenuClosed();
  void Shown();
  void Hidden();

 private:
  void OnActivated(QSystemTrayIcon::ActivationReason reason);
  void ShowIcon();
  void HideIcon();
  // The desktop gets the menu only while clicks are answered.
  void OfferMenu();
  // One change to the notification area; any failure on the way becomes
  // "<name>.<operation> failed".
  template <typename Change>
  void Request(const char* operation, Change&& change);

  platform::NotificationIcon& icon_;
  QIcon picture_;
  bool visible_ = false;
  bool enabled_ = true;
  std::string hint_;
  QPointer<QMenu> menu_;
  QMetaObject::Connection menuClosed_;
};

}  // namespace shell
