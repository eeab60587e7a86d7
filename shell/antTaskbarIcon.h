#pragma once
// TantTaskbarIcon: the program's icon in the notification area. It adds,
// modifies and deletes the icon through the shell's notify-icon requests and
// turns the shell's mouse callbacks into its events and its popup menu.
//
// Events are optional slots called with the sender first; property writes act
// at once, as their Set... accessors describe.

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

#include "harvest/errors.h"
#include "platform/notification_area.h"



namespace shell {

enum class TMouseButton { mbLeft, mbRight };

// Shift state: the keys held down plus the button.
enum TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16 };
using TShiftState = unsigned;

using TNotifyEvent = std::function<void(QObject* sender)>;
using TMouseEvent = std::function<void(QObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;

// A failed request to the notification area: "<name>.UpDate failed" and the like.
class EantTaskbarIcon : public harvest::Exception {
 public:
  using Exception::Exception;
};

class TantTaskbarIcon : public QObject {
  Q_OBJECT
 public:
  static constexpr std::size_t kMaxHintBytes = 63;
  static constexpr unsigned kCallbackMessage = platform::kWmUser + 1;

  TantTaskbarIcon(QObject* owner, platform::NotificationArea& area);
  ~TantTaskbarIcon() override;

  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnPopupMenu;  // after the popup menu has closed
  TNotifyEvent OnShow;       // after the icon was added
  TNotifyEvent OnHide;       // after the icon was deleted

  const QIcon& Icon() const { return icon_; }
  void SetIcon(const QIcon& icon);  // copied, then UpDate
  const QList<QIcon>* ImageList() const { return imageList_; }
  void SetImageList(const QList<QIcon>* list);  // not owned; then LoadFromImageList
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index);
  int IconID() const { return iconID_; }
  void SetIconID(int id);  // a shown icon is deleted and added again under the new id
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint);  // GBK; cut to 63 bytes, then UpDate
  QMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }  // forgotten when the menu goes

  std::uint32_t IconFlags() const { return iconFlags_; }
  const platform::NotifyIconData& IconData() const { return iconData_; }
  platform::WindowHandle IconWindow() const { return iconWindow_; }

  // The window procedure of the hidden icon window.
  virtual void IconWindowProc(platform::WindowMessage& message);
  virtual void FillIconData();
  virtual void AddToTaskbar();
  virtual void DeleteFromTaskbar();
  virtual void LoadFromImageList();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void Click();
  virtual void DblClick();
  virtual void UpDate();
  virtual void ShowIcon();
  virtual void HideIcon();
  virtual void PopupAtCursor();

  // After the owner has set the properties it was made with: a visible icon
  // is shown once more.
  virtual void Loaded();

 private:
  // One shell request: fill the record, send it; any failure on the way
  // becomes "<name>.<operation> failed".
  void Request(unsigned operation, const char* operationName);
  TShiftState Keys() const;

  platform::NotificationArea& area_;
  platform::NotifyIconData iconData_;
  QIcon icon_;
  const QList<QIcon>* imageList_ = nullptr;
  int imageIndex_ = 0;
  int iconID_ = 0;
  std::uint32_t iconFlags_ = platform::kNifMessage | platform::kNifTip;
  bool visible_ = false;
  bool enabled_ = true;
  std::string hint_;
  QPointer<QMenu> popupMenu_;
  bool clickPending_ = false;
  platform::WindowHandle iconWindow_ = 0;
};

}  // namespace shell
