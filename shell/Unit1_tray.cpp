// The main window in the notification area: the icon, its menu, minimising
// to the tray and coming back.

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QTimer>

#include "platform/gbk_codec.h"
#include "platform/url_opener.h"
#include "shell/Unit1.h"
#include "shell/antTaskbarIcon.h"
#include "shell/branding.h"
#include "shell/error_handler.h"

namespace shell {

void TForm1::BuildTrayIcon() {
  popupMenu1_ = new QMenu(this);
  popupMenu1_->setObjectName(QStringLiteral("PopupMenu1"));
  auto item = [this](const char* name, const QString& caption, void (TForm1::*command)()) {
    QAction* action = popupMenu1_->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, [this, command] { Guarded([&] { (this->*command)(); }); });
    return action;
  };
  n17_ = item("N17", QStringLiteral("显示主程序(&S)"), &TForm1::N17Click);
  n18_ = item("N18", QStringLiteral("最小化显示(&M)"), &TForm1::N18Click);
  item("N19", QStringLiteral("与我们联系(&L)"), &TForm1::N14Click);
  item("N20", QStringLiteral("访问Ferrowind主页(&V)"), &TForm1::N20Click);
  item("N21", QStringLiteral("关于本软件(&A)"), &TForm1::N15Click);
  popupMenu1_->addSeparator()->setObjectName(QStringLiteral("N22"));
  item("N23", QStringLiteral("退 出(&Exit)"), &TForm1::N23Click);
  n17_->setEnabled(false);

  // As the window's resource makes it: the properties in their order, then
  // the after-load step, which shows a visible icon once more.
  antTaskbarIcon1_ = std::make_unique<TantTaskbarIcon>(nullptr, *notificationArea_);
  antTaskbarIcon1_->setObjectName(QStringLiteral("antTaskbarIcon1"));
  Guarded([this] {
    antTaskbarIcon1_->SetIcon(QIcon(QStringLiteral(":/icons/kelvane.svg")));
    antTaskbarIcon1_->SetVisible(true);
    antTaskbarIcon1_->SetHint(platform::ToGbk(AppTitle()));
    antTaskbarIcon1_->SetPopupMenu(popupMenu1_);
    antTaskbarIcon1_->OnClick = [this](QObject*) { Guarded([this] { N17Click(); }); };
    antTaskbarIcon1_->Loaded();
  });
}

void TForm1::N18Click() {
  n18_->setEnabled(false);
  n17_->setEnabled(true);
  hide();  // the window and its task-bar entry
}

void TForm1::N17Click() {
  n17_->setEnabled(false);
  n18_->setEnabled(true);
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void TForm1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized()) return;
  // Without a notification area there would be no way back: the window then
  // stays an ordinary minimised one.
  if (!notificationArea_->Available()) return;
  // Hide once the window system has finished minimising.
  QTimer::singleShot(0, this, [this] {
    if (isMinimized()) Guarded([this] { N18Click(); });
  });
}

void TForm1::N14Click() { platform::OpenUrl(platform::ToGbk(MailLink())); }

void TForm1::N23Click() { close(); }

}  // namespace shell
