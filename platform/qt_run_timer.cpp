#include "platform/qt_run_timer.h"

namespace platform {

QtRunTimer::QtRunTimer(int intervalMs, std::function<void()> onTick) {
  timer_.setInterval(intervalMs);
  timer_.setTimerType(Qt::CoarseTimer);
  QObject::connect(&timer_, &QTimer::timeout, std::move(onTick));
}

void QtRunTimer::SetInterval(int milliseconds) {
  if (timer_.isActive()) {
    timer_.start(milliseconds);
  } else {
    timer_.setInterval(milliseconds);
  }
}

void QtRunTimer::SetEnabled(bool enabled) {
  if (enabled && !timer_.isActive()) timer_.start();
  if (!enabled) timer_.stop();
}

}  // namespace platform
