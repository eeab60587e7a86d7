#pragma once
// The benchmarks' wait: the thread's events until a condition holds.

#include <QCoreApplication>
#include <QTimer>
#include <functional>

// Asleep between events. The processEvents overload with a time limit never
// sleeps (Qt drops WaitForMoreEvents from it), so a loop around it spins a
// core, which the window's thread is then charged with and the browser's
// processes lack.
inline void RunEventsUntil(const std::function<bool()>& done) {
  QTimer wake;  // a look at `done` at least every 50 ms, whatever else comes
  wake.start(50);
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
