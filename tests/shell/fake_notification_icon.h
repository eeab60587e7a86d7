#pragma once
// A notification-area icon that records every change in one log and lets
// the test click it: a right click pops the context menu up the way Qt's
// XEmbed tray does (before the activation is reported), lets the test act
// on it, then closes it.

#include <QMenu>
#include <QPointer>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/notification_icon.h"

class FakeNotificationIcon final : public platform::NotificationIcon {
 public:
  bool Available() const override { return available; }

  void SetIcon(const QIcon& picture) override {
    Fail();
    icon = picture;
    log.push_back("SetIcon");
  }
  void SetToolTip(const QString& text) override {
    Fail();
    toolTip = text;
    log.push_back("SetToolTip");
  }
  void SetVisible(bool on) override {
    Fail();
    visible = on;
    log.push_back(on ? "SetVisible(true)" : "SetVisible(false)");
  }
  void SetContextMenu(QMenu* menu) override { contextMenu = menu; }
  void Notify(const QString& title, const QString& text) override {
    messages.push_back({title, text});
  }
  void WatchAvailability(bool on) override { watching = on; }

  void Click(QSystemTrayIcon::ActivationReason reason) {
    QMenu* menu = reason == QSystemTrayIcon::Context ? contextMenu.data() : nullptr;
    if (menu) {
      menu->popup(cursor);
      log.push_back("menu " + menu->objectName().toStdString());
    }
    Q_EMIT Activated(reason);
    if (!menu) return;
    if (onMenu) onMenu(*menu);
    menu->hide();
  }
  // The notification area goes away or comes back; told only while watched,
  // as the real one does.
  void SetAvailable(bool on) {
    available = on;
    if (watching) Q_EMIT AvailabilityChanged(on);
  }

  void LeftClick() { Click(QSystemTrayIcon::Trigger); }
  void RightClick() { Click(QSystemTrayIcon::Context); }

  bool available = true;
  bool failChanges = false;  // every change throws, as a platform that went away
  QPoint cursor{640, 790};
  std::function<void(QMenu&)> onMenu;  // what the user does with an open menu

  bool watching = false;
  std::vector<std::pair<QString, QString>> messages;  // notifications: title, text

  std::vector<std::string> log;  // changes and menus, in order
  QIcon icon;
  QString toolTip;
  bool visible = false;
  QPointer<QMenu> contextMenu;

 private:
  void Fail() const {
    if (failChanges) throw std::runtime_error("the notification area went away");
  }
};
