#pragma once
// The main window's place in the notification area: the icon with its hint
// and menu, hiding the window there and showing it again (by the icon, the
// menu, or a second start of the program), bringing it back when the area
// goes away, and a desktop notification while the window is hidden.

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <memory>

#include "platform/notification_icon.h"

class QWidget;

namespace shell {

class WindowTray final : public QObject {
  Q_OBJECT
 public:
  // The hint's limit, in GBK bytes.
  static constexpr std::size_t kMaxHintBytes = 63;

  // `window` is the one hidden and shown, and outlives this; the icon shows
  // from the start.
  WindowTray(QWidget& window, std::unique_ptr<platform::NotificationIcon> icon);
  ~WindowTray() override;

  // The menu: show, minimise, contact, then the window's home page, About
  // and the runs' folder, a line, and the window's exit.
  void BuildMenu(QAction* homePage, QAction* about, QAction* runsFolder, QAction* exit);
  QMenu& Menu() { return *menu_; }

  // Whether the desktop has a notification area to hide the window in.
  bool Available() const { return icon_->Available(); }
  bool InTray() const { return inTray_; }
  // While off (a merge runs), the icon stays but clicks do nothing and the
  // desktop gets no menu.
  void SetEnabled(bool enabled);

  void MinimizeToTray();
  void ShowFromTray();
  // A second start asked for the window: shown, raised and activated.
  void ShowOnRequest();
  // A desktop notification, only when nobody sees the window.
  void NotifyWhileHidden(const QString& title, const QString& text);
  // The icon's hint: `text` (a run holding says why), or the title when empty.
  void SetHint(const QString& text);

  platform::NotificationIcon& Icon() { return *icon_; }

 private:
  void OnActivated(QSystemTrayIcon::ActivationReason reason);
  void AvailabilityChanged(bool available);

  QWidget& window_;
  std::unique_ptr<platform::NotificationIcon> icon_;
  QMenu* menu_;  // the window's child
  QAction showAction_;
  QAction minimizeAction_;
  QAction contactAction_;
  bool inTray_ = false;
  bool enabled_ = true;
};

}  // namespace shell
