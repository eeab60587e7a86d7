#include "shell/screen_fit.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace shell {
namespace {

// Marks a window fitted once, so that a window the user resizes or moves
// afterwards is left where the user put it.
constexpr char kFittedProperty[] = "kelvaneFittedToScreen";

void Fit(QWidget& window) {
  const QScreen* screen = window.screen();
  if (!screen) return;
  // Before the window manager has framed it, the frame is not known yet.
  const QRect frame = window.frameGeometry();
  const QRect inner = window.geometry();
  const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                         frame.right() - inner.right(), frame.bottom() - inner.bottom());
  const QRect fitted = FitWithin(inner, margins, screen->availableGeometry());
  if (fitted.size() != inner.size()) window.resize(fitted.size());
  if (fitted.topLeft() != inner.topLeft())
    window.move(fitted.topLeft() - QPoint(margins.left(), margins.top()));
}

class ScreenFitter final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
    auto* window = static_cast<QWidget*>(watched);
    if (!window->isWindow() || window->property(kFittedProperty).toBool()) return false;
    window->setProperty(kFittedProperty, true);
    Fit(*window);
    // Once framed, the frame counts too.
    QTimer::singleShot(0, window, [window = QPointer<QWidget>(window)] {
      if (window && window->isVisible()) Fit(*window);
    });
    return false;
  }
};

}  // namespace

QRect FitWithin(const QRect& geometry, const QMargins& frame, const QRect& available) {
  const QRect room = available.marginsRemoved(frame);
  QRect fitted(geometry.topLeft(), geometry.size().boundedTo(room.size()));
  // Moved in: past the right or bottom edge first, so that the top-left
  // corner, with the title bar, wins when both cannot hold.
  fitted.moveRight(std::min(fitted.right(), room.right()));
  fitted.moveBottom(std::min(fitted.bottom(), room.bottom()));
  fitted.moveLeft(std::max(fitted.left(), room.left()));
  fitted.moveTop(std::max(fitted.top(), room.top()));
  return fitted;
}

void FitWindowsToScreen(QApplication& app) {
  app.installEventFilter(new ScreenFitter(&app));
}

}  // namespace shell
