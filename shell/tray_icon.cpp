#include "shell/tray_icon.h"

#include <QMenu>

#include "platform/gbk_codec.h"

namespace shell {

TrayIcon::TrayIcon(platform::NotificationIcon& icon, QObject* parent)
    : QObject(parent), icon_(icon) {
  connect(&icon_, &platform::NotificationIcon::Activated, this, &TrayIcon::OnActivated);
}

TrayIcon::~TrayIcon() {
  try {
    SetVisible(false);
  } catch (const std::exception&) {
    // Going away regardless; there is nothing left to undo.
  }
  icon_.SetContextMenu(nullptr);
}

template <typename Change>
void TrayIcon::Request(const char* operation, Change&& change) {
  try {
    change();
  } catch (...) {
    throw TrayIconError(objectName().toStdString() + "." + operation + " failed");
  }
}

void TrayIcon::SetIcon(const QIcon& picture) {
  picture_ = picture;
  Request("UpDate", [this] { icon_.SetIcon(picture_); });
}

void TrayIcon::SetHint(std::string hint) {
  if (hint.size() > kMaxHintBytes) hint.resize(kMaxHintBytes);
  hint_ = std::move(hint);
  Request("UpDate", [this] { icon_.SetToolTip(platform::FromGbk(hint_)); });
}

void TrayIcon::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (visible) {
    ShowIcon();
  } else {
    HideIcon();
  }
}

void TrayIcon::ShowIcon() {
  Request("AddToTaskbar", [this] { icon_.SetVisible(true); });
  visible_ = true;
  Q_EMIT Shown();
}

void TrayIcon::HideIcon() {
  Request("DeleteFromTaskbar", [this] { icon_.SetVisible(false); });
  visible_ = false;
  Q_EMIT Hidden();
}

void TrayIcon::FinishSetUp() {
  if (visible_) ShowIcon();
}

void TrayIcon::SetEnabled(bool enabled) {
  enabled_ = enabled;
  OfferMenu();
}

void TrayIcon::SetPopupMenu(QMenu* menu) {
  disconnect(menuClosed_);
  menu_ = menu;
  if (menu) menuClosed_ = connect(menu, &QMenu::aboutToHide, this, &TrayIcon::MenuClosed);
  OfferMenu();
}

void TrayIcon::OfferMenu() {
  icon_.SetContextMenu(enabled_ ? menu_.data() : nullptr);
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  if (!enabled_) return;
  const QPoint at = icon_.CursorPos();
  const Qt::KeyboardModifiers keys =
      icon_.Modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      Q_EMIT MousePressed(Qt::LeftButton, keys, at);
      Q_EMIT MouseReleased(Qt::LeftButton, keys, at);
      Q_EMIT Clicked();
      break;
    case QSystemTrayIcon::DoubleClick:
      // The first click of the pair came as a Trigger already.
      Q_EMIT DoubleClicked();
      Q_EMIT MouseReleased(Qt::LeftButton, keys, at);
      break;
    case QSystemTrayIcon::Context:
      Q_EMIT MousePressed(Qt::RightButton, keys, at);
      Q_EMIT MouseReleased(Qt::RightButton, keys, at);
      break;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
      break;
  }
}

}  // namespace shell
