#include "shell/antTaskbarIcon.h"

#include <QMenu>
#include <algorithm>
#include <cstring>

namespace shell {

TantTaskbarIcon::TantTaskbarIcon(QObject* owner, platform::NotificationArea& area) : QObject(owner), area_(area) {
  iconWindow_ = area_.CreateIconWindow([this](platform::WindowMessage& message) { IconWindowProc(message); });
}

TantTaskbarIcon::~TantTaskbarIcon() {
  try {
    SetVisible(false);
  } catch (const std::exception&) {
    // Going away regardless; a refused delete leaves nothing to undo.
  }
  area_.DestroyIconWindow(iconWindow_);
}

void TantTaskbarIcon::FillIconData() {
  iconData_ = {};
  iconData_.cbSize = 88;
  iconData_.hWnd = iconWindow_;
  iconData_.uID = static_cast<std::uint32_t>(iconID_);
  iconData_.uFlags = iconFlags_;
  iconData_.uCallbackMessage = kCallbackMessage;
  iconData_.hIcon = area_.IconHandleOf(icon_);
  const std::size_t tip = std::min(hint_.size(), iconData_.szTip.size() - 1);
  std::memcpy(iconData_.szTip.data(), hint_.data(), tip);
}

void TantTaskbarIcon::Request(unsigned operation, const char* operationName) {
  try {
    FillIconData();
    area_.ShellNotifyIcon(operation, iconData_);  // a refusal is not an error
  } catch (...) {
    throw EantTaskbarIcon(objectName().toStdString() + "." + operationName + " failed");
  }
}

void TantTaskbarIcon::UpDate() { Request(platform::kNimModify, "UpDate"); }
void TantTaskbarIcon::AddToTaskbar() { Request(platform::kNimAdd, "AddToTaskbar"); }
void TantTaskbarIcon::DeleteFromTaskbar() { Request(platform::kNimDelete, "DeleteFromTaskbar"); }

void TantTaskbarIcon::ShowIcon() {
  iconFlags_ |= platform::kNifIcon;
  AddToTaskbar();
  visible_ = true;
  if (OnShow) OnShow(this);
}

void TantTaskbarIcon::HideIcon() {
  iconFlags_ &= ~platform::kNifIcon;
  DeleteFromTaskbar();
  visible_ = false;
  if (OnHide) OnHide(this);
}

void TantTaskbarIcon::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (visible) {
    ShowIcon();
  } else {
    HideIcon();
  }
}

void TantTaskbarIcon::SetIconID(int id) {
  if (id == iconID_) return;
  const bool wasVisible = visible_;
  SetVisible(false);
  iconID_ = id;
  SetVisible(wasVisible);
}

void TantTaskbarIcon::SetHint(std::string hint) {
  if (hint.size() > kMaxHintBytes) hint.resize(kMaxHintBytes);
  hint_ = std::move(hint);
  UpDate();
}

void TantTaskbarIcon::SetIcon(const QIcon& icon) {
  icon_ = icon;
  UpDate();
}

void TantTaskbarIcon::SetImageList(const QList<QIcon>* list) {
  imageList_ = list;
  LoadFromImageList();
}

void TantTaskbarIcon::SetImageIndex(int index) {
  imageIndex_ = index;
  LoadFromImageList();
}

void TantTaskbarIcon::LoadFromImageList() {
  if (!imageList_) return;
  icon_ = QIcon();
  if (imageIndex_ >= 0 && imageIndex_ < imageList_->size()) icon_ = imageList_->at(imageIndex_);
  UpDate();
}

void TantTaskbarIcon::Loaded() {
  if (visible_) ShowIcon();
}

TShiftState TantTaskbarIcon::Keys() const {
  const Qt::KeyboardModifiers held = area_.KeyState();
  TShiftState shift = 0;
  if (held & Qt::ShiftModifier) shift |= ssShift;
  if (held & Qt::ControlModifier) shift |= ssCtrl;
  if (held & Qt::AltModifier) shift |= ssAlt;
  return shift;
}

void TantTaskbarIcon::IconWindowProc(platform::WindowMessage& message) {
  if (message.msg != kCallbackMessage || !enabled_) {
    message.result = area_.DefWindowProc(iconWindow_, message);
    return;
  }
  const QPoint at = area_.CursorPos();
  switch (message.lParam) {
    case platform::kWmLButtonDown:
      clickPending_ = true;
      MouseDown(TMouseButton::mbLeft, Keys() | ssLeft, at.x(), at.y());
      break;
    case platform::kWmLButtonUp:
      MouseUp(TMouseButton::mbLeft, Keys() | ssLeft, at.x(), at.y());
      if (clickPending_) Click();
      clickPending_ = false;
      break;
    case platform::kWmLButtonDblClk:
      DblClick();
      break;
    case platform::kWmRButtonDown:
      area_.SetForegroundWindow(iconWindow_);
      MouseDown(TMouseButton::mbRight, Keys() | ssRight, at.x(), at.y());
      break;
    case platform::kWmRButtonUp:
      PopupAtCursor();
      MouseUp(TMouseButton::mbRight, Keys() | ssRight, at.x(), at.y());
      break;
    default:
      break;  // mouse moves and the middle button: nothing at all
  }
}

void TantTaskbarIcon::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TantTaskbarIcon::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  area_.SetForegroundWindow(area_.ApplicationWindow());
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TantTaskbarIcon::Click() {
  if (OnClick) OnClick(this);
}

void TantTaskbarIcon::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TantTaskbarIcon::PopupAtCursor() {
  if (!popupMenu_) return;
  area_.PopupMenu(*popupMenu_, area_.CursorPos());
  area_.PostMessage(iconWindow_, platform::kWmNull, 0, 0);
  if (OnPopupMenu) OnPopupMenu(this);
}

}  // namespace shell
