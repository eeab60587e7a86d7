// A run holds through pages that do not come, and asks again for a page
// whose process hung or died, on the fake clock.

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <map>

#include "gbk.h"
#include "harvest/page_arrival.h"
#include "harvest/search_run.h"
#include "run_rig.h"

namespace harvest {
namespace {

using Ending = PageLoad::Ending;
using Kind = RunEvent::Kind;

constexpr char kPrefix[] = "http://search.test/s?word=";
constexpr int kInterval = 8000;  // the field's "8"

std::string Url(const std::string& word, int offset) {
  return std::string(kPrefix) + word + "&pn=" + std::to_string(offset) + "&cl=3";
}

// A number of the page's own: its keyword's letter and its offset in it.
std::string NumberOf(const std::string& url) {
  const char word = url[url.find("word=") + 5];
  const int offset = std::stoi(url.substr(url.find("&pn=") + 4));
  char number[16];
  std::snprintf(number, sizeof number, "131%02d%06d", word - 'a', offset);
  return number;
}

// Each keyword has two pages; each page shows one number of its own.
// The loads of `failing[url]` come first, one a read; then the page comes.
class HoldTest : public testing::Test, protected fakes::RunRig {
 protected:
  HoldTest() : RunRig(kPrefix) {
    run.KeywordList() = {"a", "b"};
    browser.pages = [this](const std::string& url) {
      const bool first = url.find("&pn=0&") != std::string::npos;
      return "call 13" + std::to_string(100000000 + ++served) + " now\r\n" +
             (first ? "1 2 " + Gbk("下一页>") + "\r\n" : std::string());
    };
    browser.loads = [this](const std::string& url) {
      auto& left = failing[url];
      if (left.empty()) return PageLoad{Ending::kLoaded, 200, url};
      const PageLoad load = left.front();
      left.pop_front();
      return load;
    };
  }
  void Start() {
    reports.answers.push_back("0");
    run.Start();
  }
  std::vector<Kind> EventKinds() const {
    std::vector<Kind> kinds;
    for (const auto& e : reports.events) kinds.push_back(e.kind);
    return kinds;
  }

  // `load`, `times` over, for the page at `url`.
  void Fail(const std::string& url, const PageLoad& load, int times) {
    failing[url].insert(failing[url].end(), static_cast<std::size_t>(times), load);
  }

  std::map<std::string, std::deque<PageLoad>> failing;
  int served = 0;
};

struct HeldPage {
  const char* what;
  PageLoad failure;
  HoldReason reason;
  int httpStatus;
};

TEST_F(HoldTest, APageThatDidNotComeIsAskedAgainAfterDoublingWaitsUntilItComes) {
  const HeldPage cases[] = {
      {"a network outage", {Ending::kNetworkFailed, 0, ""}, HoldReason::kNetworkDown, 0},
      {"503", {Ending::kLoaded, 503, Url("a", 10)}, HoldReason::kRefused, 503},
      {"429", {Ending::kLoaded, 429, Url("a", 10)}, HoldReason::kRefused, 429},
      {"a verification page on another host",
       {Ending::kLoaded, 200, "https://verify.test/?from=s"},
       HoldReason::kElsewhere,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reports = {};
    browser.navigated.clear();
    timer.waits.clear();
    served = 0;
    failing.clear();
    Fail(Url("a", 10), c.failure, 3);  // the keyword's second page, three times
    Start();
    RunToEnd();

    // Every page read once it came, the held one asked four times in all.
    EXPECT_EQ(browser.navigated,
              (std::vector<std::string>{Url("a", 0), Url("a", 10), Url("a", 10), Url("a", 10),
                                        Url("a", 10), Url("b", 0), Url("b", 10)}));
    EXPECT_EQ(run.FoundCount(), 4);
    EXPECT_EQ(run.Summary().pagesRead, 4);
    // The first page's 10 s, a page's interval; then each hold's wait and
    // the interval before the read of the page asked again.
    EXPECT_EQ(timer.waits,
              (std::vector<long long>{10000, kInterval, kInterval, kInterval, 2 * kInterval,
                                      kInterval, 4 * kInterval, kInterval, kInterval, kInterval}));
    EXPECT_EQ(run.Summary().heldMs, 7 * kInterval);
    ASSERT_EQ(EventKinds(),
              (std::vector<Kind>{Kind::kHolding, Kind::kHolding, Kind::kHolding, Kind::kGoingOn}));
    for (int i = 0; i < 3; ++i) {
      const RunEvent& hold = reports.events[i];
      EXPECT_EQ(hold.reason, c.reason);
      EXPECT_EQ(hold.httpStatus, c.httpStatus);
      EXPECT_EQ(hold.tries, i + 1);
      EXPECT_EQ(hold.waitMs, kInterval << i);
      EXPECT_EQ(hold.keywordNumber, 1);
      EXPECT_EQ(hold.pageOffset, 10);
    }
    EXPECT_EQ(reports.events[3].tries, 3);
    EXPECT_EQ(reports.events[3].waitMs, 7 * kInterval);
    EXPECT_EQ(reports.state, RunState::kIdle);
    EXPECT_EQ(reports.finishes, 1);
  }
}

TEST_F(HoldTest, AHoldNeverGivesUpByItselfAndWaitsAtMostTenMinutes) {
  Fail(Url("a", 0), {Ending::kNetworkFailed, 0, ""}, 40);
  Start();
  RunToEnd();
  EXPECT_EQ(run.FoundCount(), 4);  // it came at the 41st try
  std::vector<int> holds;
  for (const auto& e : reports.events) {
    if (e.kind == Kind::kHolding) holds.push_back(e.waitMs);
  }
  ASSERT_EQ(holds.size(), 40u);
  EXPECT_EQ(holds[6], 64 * kInterval);
  EXPECT_EQ(holds[7], kLongestHoldWaitMs);
  EXPECT_EQ(holds.back(), kLongestHoldWaitMs);
}

TEST_F(HoldTest, StopDuringAHoldEndsTheRunAtOnceOnTheKeywordBeingSearched) {
  Fail(Url("b", 0), {Ending::kLoaded, 503, Url("b", 0)}, 100);
  Start();
  for (int tick = 0; tick < 3; ++tick) {  // a's two pages, then b's first, which does not come
    ASSERT_TRUE(timer.AdvanceToTick());
    run.Tick();
  }
  ASSERT_EQ(run.State(), RunState::kHolding);
  EXPECT_EQ(reports.state, RunState::kHolding);
  const std::size_t asked = browser.navigated.size();
  run.Stop();
  EXPECT_EQ(run.State(), RunState::kIdle);
  EXPECT_EQ(reports.state, RunState::kIdle);
  EXPECT_FALSE(timer.enabled);
  EXPECT_EQ(browser.navigated.size(), asked);
  EXPECT_EQ(progress.written, std::vector<int>{1});  // "b", never one past it
  EXPECT_EQ(run.ResumePoint(), 1);
}

TEST_F(HoldTest, AnotherReasonIsAnotherHoldWithItsOwnNoticeAndWaitsFromTheStart) {
  Fail(Url("a", 0), {Ending::kLoaded, 503, Url("a", 0)}, 2);
  Fail(Url("a", 0), {Ending::kLoaded, 429, Url("a", 0)}, 1);  // still the engine refusing
  Fail(Url("a", 0), {Ending::kLoaded, 200, "https://verify.test/"}, 2);
  Fail(Url("a", 0), {Ending::kNetworkFailed, 0, ""}, 1);
  Start();
  RunToEnd();
  std::vector<std::pair<int, int>> holds;  // tries, wait
  for (const auto& e : reports.events) holds.emplace_back(e.tries, e.waitMs);
  EXPECT_EQ(holds,
            (std::vector<std::pair<int, int>>{{1, kInterval},
                                              {2, 2 * kInterval},
                                              {3, 4 * kInterval},
                                              {1, kInterval},
                                              {2, 2 * kInterval},
                                              {1, kInterval},
                                              {6, 11 * kInterval}}));  // going on: all of them
  EXPECT_EQ(reports.events[2].httpStatus, 429);
  EXPECT_EQ(reports.events[3].reason, HoldReason::kElsewhere);
  EXPECT_EQ(run.FoundCount(), 4);
}

struct StalledPage {
  const char* what;
  Ending ending;
  int stalls;  // reads of the page that hang or die before it comes
  int found;   // numbers of the run
  bool givenUp;
};

TEST_F(HoldTest, APageThatHangsOrDiesIsAskedTwiceMoreThenGivenUpAndTheRunGoesOn) {
  const StalledPage cases[] = {
      {"hung once", Ending::kHung, 1, 4, false},
      {"died twice", Ending::kProcessGone, 2, 4, false},
      {"hung three times: given up", Ending::kHung, 3, 2, true},
      {"died every time: given up", Ending::kProcessGone, 50, 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reports = {};
    browser.navigated.clear();
    failing.clear();
    Fail(Url("a", 0), {c.ending, 0, ""}, c.stalls);
    Start();
    RunToEnd();
    EXPECT_EQ(run.FoundCount(), c.found);
    EXPECT_EQ(reports.state, RunState::kIdle);
    EXPECT_TRUE(reports.told.empty());
    EXPECT_EQ(run.Summary().pagesGivenUp, c.givenUp ? 1 : 0);
    std::vector<Kind> kinds(std::min(c.stalls, 2), Kind::kRetrying);
    if (c.givenUp) kinds.push_back(Kind::kGivenUp);
    EXPECT_EQ(EventKinds(), kinds);
    for (const auto& e : reports.events) {
      EXPECT_EQ(e.hung, c.ending == Ending::kHung);
      EXPECT_EQ(e.pageOffset, 0);
    }
    // Given up: "a" ends there and "b" is searched whole.
    const auto asked = static_cast<std::size_t>(std::min(c.stalls, 2) + 1);  // "a" at 0, as often
    EXPECT_EQ(browser.navigated[asked], c.givenUp ? Url("b", 0) : Url("a", 10));
  }
}

// Pages that load slower than the interval, at a 1 s interval: the run waits
// for each (at most 30 s), reads it once its load has ended, and never reads
// the page before that the browser still shows. Each page has its own number.
struct ArrivingPages {
  const char* what;
  std::map<std::string, std::deque<int>> loadTimes;  // ms, one a navigation
  bool refusedFirst;                                 // "a" at 10 ends with a 503 first
  std::vector<Kind> events;
  std::int64_t heldMs;
};

TEST_F(HoldTest, APageStillLoadingAtTheTickIsReadOnceLoadedOrHeldPastTheDeadline) {
  const std::string a10 = Url("a", 10), b0 = Url("b", 0);
  const std::vector<std::string> everyPage{Url("a", 0), a10, b0, Url("b", 10)};
  constexpr Kind kWait = Kind::kWaitingForLoad, kHold = Kind::kHolding, kOn = Kind::kGoingOn;
  const ArrivingPages cases[] = {
      {"loaded by their ticks", {{a10, {600}}, {b0, {999}}}, false, {}, 0},
      {"4 s and 7 s: read once loaded", {{a10, {4000}}, {b0, {7000}}}, false, {kWait, kWait}, 0},
      {"40 s: held past the deadline", {{a10, {40000, 0}}}, false, {kWait, kHold, kOn}, 31000},
      {"a 503, then its retry loading 9 s", {{a10, {0, 9000}}}, true, {kHold, kWait, kOn}, 1000},
      {"45 s every time: the hold's growing wait lets it load in the end",
       {{a10, std::deque<int>(8, 45000)}},
       false,
       {kWait, kHold, kWait, kHold, kWait, kHold, kWait, kHold, kWait, kHold, kWait, kHold, kWait,
        kHold, kWait, kOn},
       (1 + 2 + 4 + 8 + 16 + 32 + 64 + 30 * 6 + 32) * 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reports = {};
    reports.interval = "1";
    browser.navigated.clear();
    browser.loadTimes = c.loadTimes;
    if (c.refusedFirst) Fail(a10, {Ending::kLoaded, 503, a10}, 1);
    browser.pages = [](const std::string& url) {
      const bool first = url.find("&pn=0&") != std::string::npos;
      return "call " + NumberOf(url) + "\r\n" + (first ? "1 2 " + Gbk("下一页>") + "\r\n" : "");
    };
    Start();
    RunToEnd();

    std::vector<std::string> asked = everyPage, numbers;
    // Asked again after each hold.
    const auto holds = std::count(c.events.begin(), c.events.end(), kHold);
    asked.insert(asked.begin() + 1, static_cast<std::size_t>(holds), a10);
    for (const auto& url : everyPage) numbers.push_back(NumberOf(url));
    EXPECT_EQ(browser.navigated, asked);
    EXPECT_EQ(run.TakeCounted(), numbers);  // each once, in order
    EXPECT_EQ(EventKinds(), c.events);
    int holdWait = 0;  // the wait of the hold before: a load may take as long
    for (const auto& e : reports.events) {
      EXPECT_EQ(e.pageOffset, 10 * (e.keywordNumber == 1));
      if (e.kind == kWait) {
        EXPECT_EQ(e.waitMs, std::max(30000, holdWait));
      }
      if (e.kind == kHold) {
        holdWait = e.waitMs;
        EXPECT_EQ(e.reason, c.refusedFirst ? HoldReason::kRefused : HoldReason::kNotLoaded);
      }
    }
    EXPECT_EQ(run.Summary().heldMs, c.heldMs);
    EXPECT_EQ(reports.state, RunState::kIdle);
  }
}

TEST_F(HoldTest, StopWhileAPageIsStillLoadingEndsTheRunAtOnceAndItsLateLoadIsNotRead) {
  for (const bool beforeItsTick : {false, true}) {
    SCOPED_TRACE(beforeItsTick ? "stopped before its tick" : "stopped while it is waited for");
    reports = {};
    reports.interval = "1";
    browser.navigated.clear();
    browser.loadTimes = {{Url("a", 10), {5000}}};
    Start();
    ASSERT_TRUE(timer.AdvanceToTick());
    run.Tick();  // a at 0 read, a at 10 asked for
    if (beforeItsTick) run.Stop();
    ASSERT_TRUE(timer.AdvanceToTick());
    run.Tick();
    if (!beforeItsTick) {
      EXPECT_EQ(reports.state, RunState::kWaitingForPage);
      EXPECT_FALSE(run.PageOnItsWay());  // nothing is read: a close need not wait
      run.Stop();
    }
    EXPECT_EQ(reports.state, RunState::kIdle);
    EXPECT_EQ(reports.finishes, 1);
    EXPECT_FALSE(timer.enabled);
    browser.EndLoad();  // its end comes after all
    EXPECT_EQ(run.FoundCount(), 1);
    EXPECT_EQ(browser.navigated.size(), 2u);
    EXPECT_EQ(progress.written.back(), 0);
  }
}

// The run's numbers cannot be written: the run holds, asks for a try at each
// of the hold's ticks, and goes on with the page asked for once they can.
struct FilesCase {
  const char* what;
  bool whileReading;  // the failure is heard while a page's text is on its way
  int failedTries;    // tries that fail before one that writes
};

TEST_F(HoldTest, NumbersThatCannotBeWrittenHoldTheRunUntilATryWritesThem) {
  const FilesCase cases[] = {
      {"heard while the next page is asked for", false, 0},
      {"heard while a page is read: held after it", true, 0},
      {"two tries that fail first", false, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reports = {};
    browser.navigated.clear();
    files.tries = 0;
    browser.holdAnswers = c.whileReading;
    Start();
    ASSERT_TRUE(timer.AdvanceToTick());
    run.Tick();
    run.HoldForFiles();
    if (c.whileReading) {
      EXPECT_EQ(run.State(), RunState::kWaitingForPage);  // the page on its way is read first
      browser.holdAnswers = false;
      browser.AnswerHeld();
    }
    ASSERT_EQ(run.State(), RunState::kHolding);
    const std::size_t asked = browser.navigated.size();
    for (int i = 0; i <= c.failedTries; ++i) {
      ASSERT_TRUE(timer.AdvanceToTick());
      run.Tick();
      EXPECT_EQ(files.tries, i + 1);
      EXPECT_FALSE(timer.enabled) << "nothing ticks while a try is on its way";
      if (i < c.failedTries) run.HoldForFiles();  // the try failed: held again
    }
    run.FilesWritable();
    EXPECT_EQ(run.State(), RunState::kSearching);
    EXPECT_EQ(browser.navigated.size(), asked + 1);  // the page asked for again
    EXPECT_EQ(browser.navigated.back(), Url("a", 10));
    ASSERT_GE(reports.events.size(), 2u);
    EXPECT_EQ(reports.events.back().kind, Kind::kGoingOn);
    EXPECT_EQ(reports.events.back().tries, c.failedTries + 1);
    EXPECT_EQ(reports.events.front().reason, HoldReason::kFilesUnwritable);
    RunToEnd();
    EXPECT_EQ(run.FoundCount(), 4);  // every page read once all the same
  }
}

}  // namespace
}  // namespace harvest
