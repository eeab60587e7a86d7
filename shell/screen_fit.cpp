#include "shell/screen_fit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace shell {
namespace {

// A window is fitted when it first shows, and once more when the window
// manager has framed it; after that the user's size and place stand, unless
// the screen's available area shrinks under it.
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
  const QMargins frame = FrameOf(window);
  if (!frame.isNull() || window.windowFlags().testFlag(Qt::FramelessWindowHint)) return frame;
  const QStyle* style = window.style();
  const int border = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, &window);
  const int title = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window);
  return {border, title + border, border, border};
}

void Fit(QWidget& window, const QMargins& frame) {
  // The window manager sizes a maximised or full-screen window itself.
  if (window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
    return;
  const QScreen* screen = window.screen();
  if (!screen) return;
  const QRect inner = window.geometry();
  const QRect fitted = FitWithin(inner, frame, screen->availableGeometry());
  if (fitted.size() != inner.size()) window.resize(fitted.size());
  // move() places the frame as far as Qt knows it: none before framing.
  if (fitted.topLeft() != inner.topLeft())
    window.move(fitted.topLeft() - (inner.topLeft() - window.pos()));
}

// The widget whose native window is `window`, if it is a top-level one.
QWidget* WidgetOf(const QWindow* window) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->windowHandle() == window) return widget;
  }
  return nullptr;
}

class ScreenFitter final : public QObject {
 public:
  explicit ScreenFitter(QApplication& app) : QObject(&app) {
    for (QScreen* screen : QApplication::screens()) Watch(screen);
    connect(&app, &QGuiApplication::screenAdded, this, &ScreenFitter::Watch);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
      auto* window = static_cast<QWidget*>(watched);
      if (window->isWindow() && !window->property(kFittedProperty).toBool()) {
        window->setProperty(kFittedProperty, true);
        Fit(*window, ExpectedFrame(*window));
      }
    } else if (event->type() == QEvent::Expose && watched->isWindowType()) {
      // Framed now: the frame it really has counts. Qt tells no widget
      // event for that (X11 window managers frame a window before they map
      // it, and the main window's native window is made again when the
      // browser first draws), but the frame is known once it is exposed.
      QWidget* window = WidgetOf(static_cast<QWindow*>(watched));
      if (window && window->property(kFittedProperty).toBool() &&
          !window->property(kFramedProperty).toBool() && !FrameOf(*window).isNull()) {
        window->setProperty(kFramedProperty, true);
        Fit(*window, FrameOf(*window));
      }
    }
    return false;
  }

 private:
  // A panel that docks after a window has shown (a desktop that starts
  // programs and its panel together) takes part of the screen: the windows
  // it would cover move out of its way.
  void Watch(QScreen* screen) {
    connect(screen, &QScreen::availableGeometryChanged, this, [screen] {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->screen() == screen &&
            window->property(kFittedProperty).toBool())
          Fit(*window, ExpectedFrame(*window));
      }
    });
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
  app.installEventFilter(new ScreenFitter(app));
}

}  // namespace shell
