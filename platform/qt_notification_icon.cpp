#include "platform/qt_notification_icon.h"

#include <QCursor>
#include <QGuiApplication>

namespace platform {

QtNotificationIcon::QtNotificationIcon(QObject* parent)
    : NotificationIcon(parent), icon_(new QSystemTrayIcon(this)) {
  connect(icon_, &QSystemTrayIcon::activated, this, &NotificationIcon::Activated);
}

bool QtNotificationIcon::Available() const {
  return QSystemTrayIcon::isSystemTrayAvailable();
}
void QtNotificationIcon::SetIcon(const QIcon& icon) {
  icon_->setIcon(icon);
}
void QtNotificationIcon::SetToolTip(const QString& text) {
  icon_->setToolTip(text);
}
void QtNotificationIcon::SetVisible(bool visible) {
  icon_->setVisible(visible);
}
void QtNotificationIcon::SetContextMenu(QMenu* menu) {
  icon_->setContextMenu(menu);
}
QPoint QtNotificationIcon::CursorPos() const {
  return QCursor::pos();
}
Qt::KeyboardModifiers QtNotificationIcon::Modifiers() const {
  return QGuiApplication::queryKeyboardModifiers();
}

}  // namespace platform
