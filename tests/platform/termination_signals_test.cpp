// Termination signals: handled as a Qt signal, except those the program was
// started with ignored (nohup), which stay ignored.

#include "platform/termination_signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <vector>

namespace {

bool Ignored(int signalNumber) {
  struct sigaction now {};
  ::sigaction(signalNumber, nullptr, &now);
  return now.sa_handler == SIG_IGN;
}

struct StartedWith {
  const char* what;
  std::vector<int> ignored;  // at start
  std::vector<int> heard;    // of SIGTERM and SIGHUP raised, the ones handled
};

TEST(TerminationSignals, AreHandledUnlessTheyWereIgnoredAtStart) {
  const StartedWith cases[] = {
      {"nothing ignored", {}, {SIGTERM, SIGHUP}},
      {"nohup", {SIGHUP}, {SIGTERM}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const int s : {SIGTERM, SIGINT, SIGHUP}) ::signal(s, SIG_DFL);
    for (const int s : c.ignored) ::signal(s, SIG_IGN);
    const std::vector<int> atStart = platform::IgnoredTerminationSignals();
    EXPECT_EQ(atStart, c.ignored);
    // A library resets a signal between the start and the handlers.
    ::signal(SIGHUP, SIG_DFL);
    {
      platform::TerminationSignals signals(atStart);
      std::vector<int> heard;
      QObject::connect(&signals, &platform::TerminationSignals::Received,
                       [&heard](int s) { heard.push_back(s); });
      ::raise(SIGTERM);
      ::raise(SIGHUP);  // ignored, or handled: never the end of this test
      QElapsedTimer clock;
      clock.start();
      while (heard.size() < c.heard.size() && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      QCoreApplication::processEvents();
      EXPECT_EQ(heard, c.heard);
      for (const int s : c.ignored) EXPECT_TRUE(Ignored(s)) << s;
    }
    // Gone: what was ignored stays so, the rest is back to its default.
    EXPECT_EQ(Ignored(SIGHUP), !c.ignored.empty());
    EXPECT_FALSE(Ignored(SIGTERM));
  }
  for (const int s : {SIGTERM, SIGINT, SIGHUP}) ::signal(s, SIG_DFL);
}

}  // namespace
