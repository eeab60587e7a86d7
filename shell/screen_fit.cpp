#include "shell/screen_fit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace shell {
namespace {

// A window is fitted when it first shows, and once more when the window
// manager has framed it; after that the user's size and place stand.
constexpr char kFittedProperty[] = "kelvaneFittedToScreen";
constexpr char kFramedProperty[] = "kelvaneFittedInFrame";

QMargins FrameOf(const QWidget& window) {
  const QRect frame = window.frameGeometry();
  const QRect inner = window.geometry();
  return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
          frame.bottom() - inner.bottom()};
}

// Before the window manager has framed a window its frame reads as none; a
// title bar and borders are kept free for it all the same.
QMargins ExpectedFrame(const QWidget& window) {
  const QStyle* style = window.style();
  const int border = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, &window);
  const int title = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window);
  return {border, title + border, border, border};
}

void Fit(QWidget& window, const QMargins& frame) {
  const QScreen* screen = window.screen();
  if (!screen) return;
  const QRect inner = window.geometry();
  const QRect fitted = FitWithin(inner, frame, screen->availableGeometry());
  if (fitted.size() != inner.size()) window.resize(fitted.size());
  // move() places the frame as far as Qt knows it: none before framing.
  if (fitted.topLeft() != inner.topLeft()) window.move(fitted.topLeft() - (inner.topLeft() - window.pos()));
}

class ScreenFitter final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto type = event->type();
    if ((type != QEvent::Show && type != QEvent::Move) || !watched->isWidgetType()) return false;
    auto* window = static_cast<QWidget*>(watched);
    if (!window->isWindow()) return false;
    if (type == QEvent::Show && !window->property(kFittedProperty).toBool()) {
      window->setProperty(kFittedProperty, true);
      const QMargins frame = FrameOf(*window);
      Fit(*window, frame.isNull() && !window->windowFlags().testFlag(Qt::FramelessWindowHint)
                       ? ExpectedFrame(*window)
                       : frame);
    } else if (type == QEvent::Move && window->property(kFittedProperty).toBool() &&
               !window->property(kFramedProperty).toBool() && !FrameOf(*window).isNull()) {
      // Framed now: the frame it really has counts.
      window->setProperty(kFramedProperty, true);
      Fit(*window, FrameOf(*window));
    }
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
