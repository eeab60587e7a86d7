#include "platform/qt_notification_icon.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QTimer>

namespace platform {
namespace {

// An XEmbed tray gives no word when it goes, so a watched area is looked at
// this often. Each look builds a platform icon: not much, but not for a
// fast timer either.
constexpr int kAvailabilityCheckMs = 1000;
// The StatusNotifier host's registry: its coming and going comes over D-Bus.
constexpr char kStatusNotifierWatcher[] = "org.kde.StatusNotifierWatcher";

}  // namespace

QtNotificationIcon::QtNotificationIcon(QObject* parent)
    : NotificationIcon(parent), icon_(new QSystemTrayIcon(this)), availabilityCheck_(new QTimer(this)) {
  connect(icon_, &QSystemTrayIcon::activated, this, &NotificationIcon::Activated);
  availabilityCheck_->setInterval(kAvailabilityCheckMs);
  connect(availabilityCheck_, &QTimer::timeout, this, &QtNotificationIcon::CheckAvailability);
  // Without a session bus the watcher hears nothing, and the timer is all.
  auto* watcher = new QDBusServiceWatcher(
      QString::fromLatin1(kStatusNotifierWatcher), QDBusConnection::sessionBus(),
      QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
  connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &QtNotificationIcon::CheckAvailability);
  connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this,
          &QtNotificationIcon::CheckAvailability);
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
  // Qt's X11 icon waits for an XEmbed tray to come; elsewhere (Wayland,
  // offscreen) an icon shown with no area at all only makes Qt complain on
  // the terminal, so it waits here for a StatusNotifier watcher instead.
  waitingForArea_ = visible && QGuiApplication::platformName() != QStringLiteral("xcb") && !Available();
  if (!waitingForArea_) icon_->setVisible(visible);
}
void QtNotificationIcon::SetContextMenu(QMenu* menu) {
  icon_->setContextMenu(menu);
}
void QtNotificationIcon::Notify(const QString& title, const QString& text) {
  icon_->showMessage(title, text, icon_->icon());
}

void QtNotificationIcon::WatchAvailability(bool on) {
  watching_ = on;
  if (!on) {
    availabilityCheck_->stop();
    return;
  }
  available_ = Available();
  availabilityCheck_->start();
}

void QtNotificationIcon::CheckAvailability() {
  if (!watching_ && !waitingForArea_) return;
  const bool now = Available();
  if (waitingForArea_ && now) {
    waitingForArea_ = false;
    icon_->setVisible(true);
  }
  if (!watching_) return;
  if (now == available_) return;
  available_ = now;
  Q_EMIT AvailabilityChanged(now);
}

}  // namespace platform
