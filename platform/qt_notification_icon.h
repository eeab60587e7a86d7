#pragma once
// The notification-area icon over QSystemTrayIcon.

#include <QSystemTrayIcon>

#include "platform/notification_icon.h"

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
  QPoint CursorPos() const override;
  Qt::KeyboardModifiers Modifiers() const override;

 private:
  QSystemTrayIcon* icon_;  // a child
};

}  // namespace platform
