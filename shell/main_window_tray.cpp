// The main window in the notification area: the icon, its menu, minimising
// to the tray and coming back, by the user's hand or because the area went
// away; the word that a run has ended while the window was hidden; and the
// window shown again when the program is started a second time.

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QTimer>

#include "platform/gbk_codec.h"
#include "platform/url_opener.h"
#include "shell/branding.h"
#include "shell/error_handler.h"
#include "shell/main_window.h"

namespace shell {
namespace {

// How long a window asked for by a second start may take to become active
// before it asks for attention instead.
constexpr int kAttentionDelayMs = 1000;

}  // namespace

void MainWindow::BuildTrayIcon() {
  trayMenu_ = new QMenu(this);
  trayMenu_->setObjectName(QStringLiteral("TrayMenu"));
  // Home page, About and Exit are the toolbar's own actions.
  showFromTrayAction_ =
      AddCommand("ShowFromTrayAction", QStringLiteral("显示主程序(&S)"), &MainWindow::ShowFromTray);
  minimizeToTrayAction_ = AddCommand("MinimizeToTrayAction", QStringLiteral("最小化显示(&M)"),
                                     &MainWindow::MinimizeToTray);
  trayMenu_->addAction(showFromTrayAction_);
  trayMenu_->addAction(minimizeToTrayAction_);
  trayMenu_->addAction(
      AddCommand("WriteToMakerAction", QStringLiteral("与我们联系(&L)"), &MainWindow::WriteToMaker));
  trayMenu_->addAction(homePageAction_);
  trayMenu_->addAction(aboutAction_);
  trayMenu_->addSeparator();
  trayMenu_->addAction(exitAction_);
  showFromTrayAction_->setEnabled(false);

  // The properties in the order the window has always set them; finishing
  // the set-up shows the visible icon once more.
  trayIcon_ = std::make_unique<shell::TrayIcon>(*notificationIcon_);
  trayIcon_->setObjectName(QStringLiteral("TrayIcon"));
  connect(trayIcon_.get(), &TrayIcon::Clicked, this,
          [this] { Guarded([this] { ShowFromTray(); }); });
  // A panel that restarts or crashes takes the notification area, and the
  // way back, with it: the window comes back on its own.
  connect(notificationIcon_.get(), &platform::NotificationIcon::AvailabilityChanged, this,
          [this](bool available) {
            if (!available && HiddenInTray()) Guarded([this] { ShowFromTray(); });
          });
  Guarded([this] {
    trayIcon_->SetIcon(ProgramIcon());
    trayIcon_->SetVisible(true);
    trayIcon_->SetHint(platform::ToGbk(AppTitle()));
    trayIcon_->SetPopupMenu(trayMenu_);
    trayIcon_->FinishSetUp();
  });
}

void MainWindow::MinimizeToTray() {
  minimizeToTrayAction_->setEnabled(false);
  showFromTrayAction_->setEnabled(true);
  hide();  // the window and its task-bar entry
  notificationIcon_->WatchAvailability(true);
}

void MainWindow::ShowFromTray() {
  notificationIcon_->WatchAvailability(false);
  showFromTrayAction_->setEnabled(false);
  minimizeToTrayAction_->setEnabled(true);
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

bool MainWindow::HiddenInTray() const {
  return showFromTrayAction_->isEnabled();
}

void MainWindow::ShowOnRequest(const QByteArray& activationToken) {
  // Qt's Wayland window takes the launcher's token from the environment
  // when it asks to be activated; without one a compositor may only mark
  // the window as wanting attention.
  if (!activationToken.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", activationToken);
  ShowFromTray();
  // A window manager that keeps the focus where it is still shows which
  // window wants it.
  QTimer::singleShot(kAttentionDelayMs, this, [this] {
    if (!isActiveWindow()) QApplication::alert(this);
  });
}

void MainWindow::TellRunEnded() {
  if (!HiddenInTray()) return;
  notificationIcon_->Notify(
      AppTitle(), QStringLiteral("搜索已经结束!\n共找到 %1 个手机号码").arg(run_->FoundCount()));
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized()) return;
  // Without a notification area there would be no way back: the window then
  // stays an ordinary minimised one.
  if (!trayIcon_->Available()) return;
  // Hide once the window system has finished minimising.
  QTimer::singleShot(0, this, [this] {
    if (isMinimized()) Guarded([this] { MinimizeToTray(); });
  });
}

void MainWindow::WriteToMaker() {
  platform::OpenUrl(MailLink());
}

}  // namespace shell
