#pragma once
// Stand-ins for everything around the engine: the reports and settings, the browser, the
// run's timer on a manual clock, the address list and the progress file.

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "harvest/errors.h"
#include "harvest/result_list.h"
#include "harvest/search_ports.h"

namespace fakes {

using namespace harvest;

class FakeReports : public RunReports, public RunSettings, public ResultListObserver {
 public:
  // RunSettings
  bool Deduplicate() const override { return dedupe; }
  std::string IntervalText() const override { return interval; }

  // RunReports
  void ReportKeywordNumber(int number) override { keywordNumber = number; }
  void ReportFoundCount(int count) override { found = count; }
  void ReportState(RunState now) override {
    if (now == state) throw std::logic_error("a state reported twice in a row");
    state = now;
    states.push_back(now);
  }
  void ReportFinished(const RunSummary& ended) override {
    ++finishes;
    summary = ended;
  }
  void Tell(RunMessage message) override { told.push_back(message); }
  void ReportEvent(const RunEvent& event) override { events.push_back(event); }
  // Answered at once from `answers`, or kept for the test to answer with
  // AnswerHeld when holdAnswer is set.
  void AskResumePoint(int offered, ResumeAnswer answer) override {
    offered_.push_back(offered);
    if (holdAnswer) {
      held = std::move(answer);
      return;
    }
    if (answers.empty()) throw std::logic_error("unexpected prompt");
    auto given = answers.front();
    answers.pop_front();
    answer(given);
  }
  void AnswerHeld(std::optional<std::string> given) { std::exchange(held, {})(std::move(given)); }

  // ResultListObserver
  void BeginAppend(int) override {}
  void EndAppend(int row) override { scrolledTo = row; }
  void BeginClear() override {}
  void EndClear() override { ++clears; }

  const std::vector<int>& Offered() const { return offered_; }

  bool dedupe = false;
  std::string interval = "8";
  int keywordNumber = -1;  // none reported yet
  int found = -1;
  RunState state = RunState::kIdle;
  std::vector<RunState> states;  // as reported, in order
  int finishes = 0;              // runs reported finished
  RunSummary summary;            // the last run's
  std::deque<std::optional<std::string>> answers;  // nullopt = Cancel
  bool holdAnswer = false;
  ResumeAnswer held;
  std::vector<RunMessage> told;
  std::vector<RunEvent> events;
  int scrolledTo = -1;
  int clears = 0;

 private:
  std::vector<int> offered_;  // the resume points offered, one per question
};

// A timer on a manual clock: the test advances time to the next tick.
class FakeTimer : public RunTimer {
 public:
  void SetInterval(int ms) override {
    interval = ms;
    if (enabled) due = now + ms;  // a running timer starts its wait again
  }
  void SetEnabled(bool on) override {
    if (on && !enabled) due = now + interval;
    enabled = on;
  }
  // Moves the clock to the pending tick; false when the timer is off.
  bool AdvanceToTick() {
    if (!enabled) return false;
    waits.push_back(due - lastTick);
    now = due;
    lastTick = now;
    return true;
  }

  long long now = 0;
  long long due = 0;
  long long lastTick = 0;
  int interval = 8000;  // as the window creates it
  bool enabled = false;
  std::vector<long long> waits;  // time from one tick (or the start) to the next
};

// Reads a fake browser keeps for the test to answer later, or never, with
// the text the page showed when they were asked.
class HeldReads {
 public:
  void Hold(PageBrowser::PageTextHandler handler, PageText page) {
    held.push_back({std::move(handler), std::move(page)});
  }
  // Answers the oldest read still held, now.
  void AnswerHeld() {
    auto read = std::move(held.at(0));
    held.pop_front();
    read.handler(std::move(read.page));
  }

  struct HeldRead {
    PageBrowser::PageTextHandler handler;
    PageText page;
  };
  std::deque<HeldRead> held;
};

// Answers each read at once, or, with holdAnswers, keeps it. A page whose
// `loadTimes` are more than 0 ms loads slowly: until its load ends (EndLoad,
// or the rig's clock reaching loadEndsAt) the document shown is the page
// before, and a read tells that the load has not ended.
class FakeBrowser : public PageBrowser, public HeldReads {
 public:
  void Navigate(const std::string& url) override {
    navigated.push_back(url);
    if (failNavigate) throw Exception("navigation refused");
    current = url;
    loadEnded = nullptr;
    loading = false;
    if (auto& times = loadTimes[url]; !times.empty()) {
      const int ms = times.front();
      times.pop_front();
      loading = ms > 0;
      loadEndsAt = (clock ? *clock : 0) + ms;
    }
    if (!loading) shown = url;
  }
  bool LoadEnded() const override { return !loading; }
  void WhenLoadEnds(LoadEndHandler handler) override { loadEnded = std::move(handler); }
  void EndLoad() {
    loading = false;
    shown = current;
    if (auto handler = std::exchange(loadEnded, nullptr)) handler();
  }
  void RequestPageText(PageTextHandler handler) override {
    PageText page;
    if (failRead) {
      page.error = std::make_exception_ptr(Exception("no document"));
    } else if (pages && !shown.empty()) {  // before any page the document is empty
      page.text = pages(shown);
    }
    if (!loading) {
      page.load = loads && !current.empty() ? loads(current)
                                            : PageLoad{PageLoad::Ending::kLoaded, 200, current};
    }
    if (!holdAnswers) {
      handler(std::move(page));
      return;
    }
    Hold(std::move(handler), std::move(page));
  }

  std::function<std::string(const std::string& url)> pages;
  // How the load of the page at `url` ended, read by read; none: loaded.
  std::function<PageLoad(const std::string& url)> loads;
  // How long each navigation to a url takes to load, one a navigation; none: at once.
  std::map<std::string, std::deque<int>> loadTimes;
  const long long* clock = nullptr;  // the time loadEndsAt counts in
  long long loadEndsAt = 0;
  bool loading = false;
  LoadEndHandler loadEnded;
  std::vector<std::string> navigated;
  std::string current;  // navigated to last
  std::string shown;    // the document on screen
  bool failNavigate = false;
  bool failRead = false;
  bool holdAnswers = false;
};

class FakeAddresses : public AddressLookup {
 public:
  std::vector<std::string> HostAddresses() override {
    if (fail) throw Exception("lookup failed");
    return addresses;
  }
  std::vector<std::string> addresses{"127.0.0.1", "192.168.1.20"};
  bool fail = false;
};

class FakeProgress : public ProgressWriter {
 public:
  explicit FakeProgress(const std::function<int()>& keywordIndex) : keywordIndex_(keywordIndex) {}
  void WriteProgress() override {
    if (fail) throw TextFileError(5);
    written.push_back(keywordIndex_() - 1);
  }
  std::vector<int> written;  // the resume points recorded
  bool fail = false;

 private:
  std::function<int()> keywordIndex_;
};

// The run's files as the test says: each try to write them again is counted.
class FakeFiles : public RunFilesKeeper {
 public:
  void TryWritingAgain() override { ++tries; }
  int tries = 0;
};

}  // namespace fakes
