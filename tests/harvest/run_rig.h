#pragma once
// A search run wired to stand-ins for everything it talks to, for the
// engine's tests: they reach the fakes and the run by name.

#include <algorithm>
#include <string>

#include "fake_world.h"
#include "harvest/result_list.h"
#include "harvest/search_run.h"

namespace fakes {

struct RunRig {
  explicit RunRig(const std::string& queryPrefix)
      : run{{reports, reports, browser, timer, addresses, progress, files}, results, queryPrefix} {
    browser.clock = &timer.now;
  }

  // Lets the timer tick, and slow loads end when their time comes, until the
  // run stops arming it.
  void RunToEnd() {
    for (int guard = 0; guard < 10000; ++guard) {
      if (browser.loading && (!timer.enabled || browser.loadEndsAt <= timer.due)) {
        timer.now = std::max(timer.now, browser.loadEndsAt);
        browser.EndLoad();
      } else if (timer.AdvanceToTick()) {
        run.Tick();
      } else {
        return;
      }
    }
  }

  FakeReports reports;
  FakeBrowser browser;
  FakeTimer timer;
  FakeAddresses addresses;
  FakeProgress progress{[this] { return run.KeywordIndex(); }};
  FakeFiles files;
  ResultList results;
  SearchRun run;
};

}  // namespace fakes
