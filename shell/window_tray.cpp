#include "shell/window_tray.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "platform/gbk_codec.h"
#include "platform/url_opener.h"
#include "shell/branding.h"
#include "shell/error_handler.h"

namespace shell {
namespace {

// How long a window asked for by a second start may take to become active
// before it asks for attention instead.
constexpr int kAttentionDelayMs = 1000;

// A hint the notification area shows whole: at most 63 GBK bytes (a
// character may be cut in half, and is then dropped).
QString HintOf(const QString& text) {
  std::string bytes = platform::ToGbk(text);
  if (bytes.size() > WindowTray::kMaxHintBytes) bytes.resize(WindowTray::kMaxHintBytes);
  return platform::FromGbk(bytes);
}

}  // namespace

WindowTray::WindowTray(QWidget& window, std::unique_ptr<platform::NotificationIcon> icon)
    : window_(window),
      icon_(std::move(icon)),
      menu_(new QMenu(&window)),
      showAction_(tr("显示主程序(&S)")),
      minimizeAction_(tr("最小化显示(&M)")),
      contactAction_(tr("与我们联系(&L)")) {
  menu_->setObjectName(QStringLiteral("TrayMenu"));
  showAction_.setObjectName(QStringLiteral("ShowFromTrayAction"));
  minimizeAction_.setObjectName(QStringLiteral("MinimizeToTrayAction"));
  contactAction_.setObjectName(QStringLiteral("ContactAction"));
  showAction_.setEnabled(false);
  connect(&showAction_, &QAction::triggered, this, [this] { Guarded([this] { ShowFromTray(); }); });
  connect(&minimizeAction_, &QAction::triggered, this,
          [this] { Guarded([this] { MinimizeToTray(); }); });
  connect(&contactAction_, &QAction::triggered, this, [] { platform::OpenUrl(MailLink()); });

  connect(icon_.get(), &platform::NotificationIcon::Activated, this, &WindowTray::OnActivated);
  connect(icon_.get(), &platform::NotificationIcon::AvailabilityChanged, this,
          &WindowTray::AvailabilityChanged);
  icon_->SetIcon(ProgramIcon());
  SetHint({});
  icon_->SetContextMenu(menu_);
  icon_->SetVisible(true);
}

WindowTray::~WindowTray() {
  icon_->SetContextMenu(nullptr);
  icon_->SetVisible(false);
}

void WindowTray::BuildMenu(QAction* homePage, QAction* about, QAction* runsFolder, QAction* exit) {
  menu_->addAction(&showAction_);
  menu_->addAction(&minimizeAction_);
  menu_->addAction(&contactAction_);
  menu_->addAction(homePage);
  menu_->addAction(about);
  menu_->addAction(runsFolder);
  menu_->addSeparator();
  menu_->addAction(exit);
}

void WindowTray::SetEnabled(bool enabled) {
  enabled_ = enabled;
  icon_->SetContextMenu(enabled ? menu_ : nullptr);
}

void WindowTray::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  // A left click brings the window back, also when it is shown already.
  if (enabled_ && reason == QSystemTrayIcon::Trigger) Guarded([this] { ShowFromTray(); });
}

void WindowTray::MinimizeToTray() {
  inTray_ = true;
  minimizeAction_.setEnabled(false);
  showAction_.setEnabled(true);
  window_.hide();  // the window and its task-bar entry
  icon_->WatchAvailability(true);
}

void WindowTray::ShowFromTray() {
  icon_->WatchAvailability(false);
  inTray_ = false;
  showAction_.setEnabled(false);
  minimizeAction_.setEnabled(true);
  window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
  window_.show();
  window_.raise();
  window_.activateWindow();
}

void WindowTray::AvailabilityChanged(bool available) {
  // A panel that restarts or crashes takes the notification area, and the
  // way back, with it: the window comes back on its own.
  if (!available && inTray_) Guarded([this] { ShowFromTray(); });
}

void WindowTray::ShowOnRequest() {
  // The launcher's activation token stays unused: Qt 6.4's Wayland window
  // takes one only from the environment, and changing the environment
  // while the browser's threads read it is a race. A compositor that will
  // not raise the window then at least marks it as wanting attention.
  ShowFromTray();
  // A window manager that keeps the focus where it is still shows which
  // window wants it.
  QTimer::singleShot(kAttentionDelayMs, &window_, [this] {
    if (!window_.isActiveWindow()) QApplication::alert(&window_);
  });
}

void WindowTray::NotifyWhileHidden(const QString& title, const QString& text) {
  if (inTray_) icon_->Notify(title, text);
}

void WindowTray::SetHint(const QString& text) {
  icon_->SetToolTip(HintOf(text.isEmpty() ? AppTitle() : text));
}

}  // namespace shell
