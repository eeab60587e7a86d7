#pragma once
// One icon in the desktop's notification area, as the tray component drives
// it: picture, tool tip, shown or not, the menu the desktop pops up on a
// right click, and the clicks that come back as activations. The Qt adapter
// stands on QSystemTrayIcon; tests stand on a fake.

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QSystemTrayIcon>

class QMenu;

namespace platform {

class NotificationIcon : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;

  // Whether the desktop has a notification area at all.
  virtual bool Available() const = 0;

  virtual void SetIcon(const QIcon& icon) = 0;
  virtual void SetToolTip(const QString& text) = 0;
  virtual void SetVisible(bool visible) = 0;
  // Popped up by the desktop on a right click (on a StatusNotifierItem tray
  // too); null for none. Not owned.
  virtual void SetContextMenu(QMenu* menu) = 0;

  // Where the mouse is and which of Shift, Ctrl and Alt are held, at the
  // moment of asking.
  virtual QPoint CursorPos() const = 0;
  virtual Qt::KeyboardModifiers Modifiers() const = 0;

 Q_SIGNALS:
  void Activated(QSystemTrayIcon::ActivationReason reason);
};

}  // namespace platform
