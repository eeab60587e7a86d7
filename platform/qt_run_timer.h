#pragma once
// The run's timer over QTimer, with the rules the engine expects: setting the
// interval of a running timer restarts its wait, enabling a running timer
// changes nothing, and a disabled timer keeps its interval.

#include <QObject>
#include <QTimer>
#include <functional>

#include "harvest/search_ports.h"

namespace platform {

class QtRunTimer final : public harvest::RunTimer {
 public:
  QtRunTimer(int intervalMs, std::function<void()> onTick);

  void SetInterval(int milliseconds) override;
  void SetEnabled(bool enabled) override;

  bool Enabled() const { return timer_.isActive(); }
  int Interval() const { return timer_.interval(); }

 private:
  QTimer timer_;
};

}  // namespace platform
