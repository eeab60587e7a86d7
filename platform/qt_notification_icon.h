#pragma once
// The notification-area icon over QSystemTrayIcon. Qt puts the icon in an
// XEmbed tray or registers it with a StatusNotifier watcher over D-Bus, and
// brings it back by itself when either returns after going away.

#include <QSystemTrayIcon>

#include "platform/notification_icon.h"

class QTimer;

namespace platform {

class QtNotificationIcon final : public NotificationIcon {
  Q_OBJECT
 public:
  explicit QtNotificationIcon(QObject* parent = nullptr);

  bool Available() const override;
  void SetIcon(const QIcon& icon) override;
  void SetToolTip(const QString& text) override;
  void SetVisible(bool visible) override;
  void SetContextMenu(QMenu* menu) override;
  void Notify(const QString& title, const QString& text) override;
  void WatchAvailability(bool on) override;

 private:
  void CheckAvailability();

  QSystemTrayIcon* icon_;   // a child
  QTimer* availabilityCheck_;  // a child; runs while watched
  bool watching_ = false;
  bool available_ = false;  // as last seen while watched
  bool waitingForArea_ = false;  // to be shown once an area comes
};

}  // namespace platform
