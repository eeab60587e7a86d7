#pragma once
// One icon in the desktop's notification area, as the tray component drives
// it: picture, tool tip, shown or not, the menu the desktop pops up on a
// right click, and the clicks that come back as activations; beside it, a
// desktop notification, and word when the notification area comes or goes.
// The Qt adapter stands on QSystemTrayIcon; tests stand on a fake.

#include <QIcon>
#include <QObject>
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

  // A desktop notification from the icon: a notification server's bubble on
  // StatusNotifier desktops, a balloon beside the icon on XEmbed trays.
  virtual void Notify(const QString& title, const QString& text) = 0;

  // While on, AvailabilityChanged tells when the notification area goes
  // away or comes back. Off by default: watching costs a little, and only a
  // window hidden in the area needs it.
  virtual void WatchAvailability(bool on) = 0;


 Q_SIGNALS:
  void Activated(QSystemTrayIcon::ActivationReason reason);
  // What Available() now answers, when it changed while watched.
  void AvailabilityChanged(bool available);
};

}  // namespace platform
