#include "harvest/search_run.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "gbk.h"
#include "run_rig.h"

namespace harvest {
namespace {

constexpr char kPrefix[] = "http://search.test/s?word=";

std::string Url(const std::string& word, int offset) {
  return std::string(kPrefix) + word + "&pn=" + std::to_string(offset) + "&cl=3";
}

// A search engine whose keyword K shows a pager line on its first
// pagerPages[K] pages, and one number of its own on every page.
class FakeEngine {
 public:
  std::map<std::string, int> pagerPages;
  std::vector<std::string> panel3AtRead;  // what the keyword counter showed
  int pagesServed = 0;

  std::string Page(const std::string& url, const std::string& panel3) {
    panel3AtRead.push_back(panel3);
    const auto word =
        url.substr(std::string(kPrefix).size(), url.find("&pn=") - std::string(kPrefix).size());
    const int offset = std::stoi(url.substr(url.find("&pn=") + 4));
    const int page = offset / 10;
    std::string text =
        "result page\r\ncall 13" + std::to_string(100000000 + pagesServed++) + " now\r\n";
    if (page < pagerPages[word])
      text +=
          (page == 0 ? std::string("1 2 3 ") : Gbk("<上一页") + " 2 3 ") + Gbk("下一页>") + "\r\n";
    return text;
  }
};

class SearchRunTest : public testing::Test, protected fakes::RunRig {
 protected:
  SearchRunTest() : RunRig(kPrefix) {
    results.SetObserver(&reports);
    browser.pages = [this](const std::string& url) {
      return engine.Page(url, std::to_string(reports.keywordNumber));
    };
  }

  void StartAt(const std::string& answer) {
    reports.answers.push_back(answer);
    run.Start();
  }
  void Tick() {
    ASSERT_TRUE(timer.AdvanceToTick());
    run.Tick();
  }

  FakeEngine engine;
};

// A run of its own, for the cases of a table.
struct FreshRun : fakes::RunRig {
  FreshRun() : RunRig(kPrefix) {}
};

TEST_F(SearchRunTest, AWholeRunPagesEachKeywordUntilItsPagerEndsOrSeventyFivePages) {
  run.KeywordList() = {"alpha", " beta ", "gamma"};
  engine.pagerPages = {{"alpha", 0}, {"beta", 2}, {"gamma", 80}};
  StartAt("0");

  EXPECT_EQ(reports.state, RunState::kStarting);
  EXPECT_EQ(reports.found, 0);

  // Change the interval after the first few pages: it applies from the next
  // request on.
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_EQ(reports.state, RunState::kSearching);
  reports.interval = "3";
  RunToEnd();

  std::vector<std::string> expected{Url("alpha", 0), Url("beta", 0), Url("beta", 10),
                                    Url("beta", 20)};
  for (int offset = 0; offset <= 740; offset += 10) expected.push_back(Url("gamma", offset));
  EXPECT_EQ(browser.navigated, expected);

  ASSERT_EQ(timer.waits.size(), expected.size());
  EXPECT_EQ(timer.waits[0], 10000);  // only the very first page gets 10 s
  EXPECT_EQ(timer.waits[1], 8000);   // the next keyword's first page: the field
  EXPECT_EQ(timer.waits[2], 8000);
  EXPECT_EQ(timer.waits[3], 8000);
  EXPECT_EQ(timer.waits[4], 3000);
  EXPECT_EQ(timer.waits.back(), 3000);

  // The keyword counter shows the 1-based number of the keyword searched.
  EXPECT_EQ(engine.panel3AtRead[0], "1");
  EXPECT_EQ(engine.panel3AtRead[1], "2");
  EXPECT_EQ(engine.panel3AtRead[3], "2");
  EXPECT_EQ(engine.panel3AtRead.back(), "3");

  EXPECT_EQ(run.FoundCount(), 79);
  EXPECT_EQ(reports.found, 79);
  EXPECT_EQ(results.Count(), 79 - 51);  // emptied once at 51 rows
  EXPECT_EQ(reports.state, RunState::kIdle);
  EXPECT_EQ(progress.written, std::vector<int>{2});
  EXPECT_FALSE(timer.enabled);
  EXPECT_EQ(run.PageOffset(), 0);
  EXPECT_EQ(run.KeywordIndex(), 3);
}

TEST_F(SearchRunTest, TheResumePromptOffersTheIndexAndCorrectsItsAnswer) {
  run.KeywordList() = {"a", "b", "c"};
  run.SetKeywordIndex(2);
  StartAt("2");
  EXPECT_EQ(reports.Offered(), std::vector<int>{2});
  EXPECT_EQ(browser.navigated.back(), Url("c", 0));
  RunToEnd();
  EXPECT_EQ(progress.written, std::vector<int>{2});

  // After a run that used every keyword the prompt offers their number;
  // accepting it is "beyond the list" and the run starts from keyword 0.
  StartAt("3");
  EXPECT_EQ(reports.Offered().back(), 3);
  EXPECT_EQ(reports.told, std::vector<RunMessage>{RunMessage::kResumeBeyondList});
  EXPECT_EQ(browser.navigated.back(), Url("a", 0));
  EXPECT_EQ(run.KeywordIndex(), 1);

  // A negative answer starts at 0 without a word; so does 0 itself.
  StartAt("-5");
  StartAt("0");
  StartAt("  $1");  // the integer rules apply: hex 1
  EXPECT_EQ(reports.told.size(), 1u);
  EXPECT_EQ(browser.navigated.back(), Url("b", 0));
}

TEST_F(SearchRunTest, StartRefusesWithoutNetworkListOrValidAnswer) {
  run.KeywordList() = {"a"};
  run.SetKeywordIndex(0);

  addresses.addresses = {"192.168.1.20", "127.0.0.1"};
  run.Start();
  EXPECT_EQ(reports.told, std::vector<RunMessage>{RunMessage::kNotConnected});
  EXPECT_TRUE(reports.Offered().empty());

  addresses.addresses = {"127.0.0.1", "192.168.1.20"};
  reports.answers.push_back(std::nullopt);  // Cancel
  run.Start();
  EXPECT_EQ(reports.Offered().size(), 1u);
  EXPECT_TRUE(browser.navigated.empty());

  reports.answers.push_back("two");
  try {
    run.Start();
    ADD_FAILURE() << "no error";
  } catch (const NotAnIntegerError& e) {
    EXPECT_EQ(e.Message(), "'two' is not a valid integer value");
  }
  EXPECT_EQ(run.KeywordIndex(), 0);
  EXPECT_TRUE(browser.navigated.empty());

  run.KeywordList().clear();
  try {
    run.Start();
    ADD_FAILURE() << "no error";
  } catch (const NoKeywordsError&) {
  }
  EXPECT_EQ(reports.Offered().size(), 2u);  // no prompt for an empty list
}

TEST_F(SearchRunTest, AFailedAddressLookupLetsTheSearchStart) {
  run.KeywordList() = {"a"};
  addresses.fail = true;
  StartAt("0");
  EXPECT_EQ(browser.navigated, std::vector<std::string>{Url("a", 0)});
  addresses.fail = false;
  addresses.addresses = {};
  StartAt("0");
  EXPECT_EQ(browser.navigated.size(), 2u);
}

TEST_F(SearchRunTest, StopDuringAWaitStillScansThePageThenFinishes) {
  run.KeywordList() = {"a", "b"};
  engine.pagerPages = {{"a", 5}};
  StartAt("0");
  Tick();
  EXPECT_EQ(run.FoundCount(), 1);

  run.Stop();
  EXPECT_EQ(reports.finishes, 0) << "stopping is not finishing";
  EXPECT_EQ(reports.state, RunState::kStopping);
  EXPECT_TRUE(timer.enabled);  // the page already asked for is still read

  Tick();
  EXPECT_EQ(run.FoundCount(), 2);
  EXPECT_EQ(reports.state, RunState::kIdle);
  EXPECT_EQ(progress.written, std::vector<int>{0});
  EXPECT_FALSE(timer.enabled);
  EXPECT_EQ(browser.navigated.size(), 2u);
  EXPECT_EQ(reports.finishes, 1);
}

TEST_F(SearchRunTest, StopOnAKeywordsLastPageFinishesInsteadOfTheNextKeyword) {
  run.KeywordList() = {"a", "b"};
  StartAt("0");
  run.Stop();
  Tick();
  EXPECT_EQ(browser.navigated, std::vector<std::string>{Url("a", 0)});
  EXPECT_EQ(progress.written, std::vector<int>{0});
}

TEST_F(SearchRunTest, StartFromStoppingBeginsANewRunOnTheSameTimer) {
  run.KeywordList() = {"a", "b"};
  engine.pagerPages = {{"a", 5}, {"b", 5}};
  StartAt("0");
  Tick();  // now waiting for a's second page, 8 s
  timer.now += 5000;
  run.Stop();

  StartAt("1");
  EXPECT_FALSE(run.StopRequested());
  EXPECT_EQ(browser.navigated.back(), Url("b", 0));
  EXPECT_EQ(timer.due, timer.now + 10000);  // the pending wait starts again
  Tick();
  EXPECT_EQ(engine.panel3AtRead.back(), "2");
  EXPECT_EQ(browser.navigated.back(), Url("b", 10));
  EXPECT_TRUE(progress.written.empty());
  EXPECT_EQ(run.FoundCount(), 1);  // counted afresh for the new run
  EXPECT_EQ(results.Count(), 1);
}

TEST_F(SearchRunTest, NavigationFailuresAreDroppedAndTheTickReadsWhatTheBrowserHolds) {
  run.KeywordList() = {"a", "b"};
  browser.failNavigate = true;
  StartAt("0");
  EXPECT_TRUE(timer.enabled);  // the first request's failure is not shown
  Tick();                      // reads what the browser holds: nothing
  EXPECT_EQ(browser.navigated.size(), 2u);
  EXPECT_TRUE(timer.enabled);
}

// A step that fails: the run ends all the same, then the error is told.
struct FailedStep {
  const char* what;
  bool failWrite;  // the progress file cannot be written (a full disk)
  bool failRead;   // the page's text does not come
  bool holdRead;   // the failure comes after the tick has returned
  const char* error;
  std::vector<int> written;  // resume points recorded
};

TEST_F(SearchRunTest, AFailedStepEndsTheRunAndTellsItsErrorAfterwards) {
  const FailedStep cases[] = {
      {"the progress file at Finish", true, false, false, "File access denied", {}},
      {"a read that fails at once", false, true, false, "no document", {0}},
      {"a read that fails later", false, true, true, "no document", {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FreshRun fresh;
    auto& [fakeReports, fakeBrowser, fakeTimer, fakeAddresses, fakeProgress, fakeFiles, fakeResults,
           freshRun] = fresh;
    freshRun.KeywordList() = {"a"};
    fakeProgress.fail = c.failWrite;
    fakeBrowser.failRead = c.failRead;
    fakeBrowser.holdAnswers = c.holdRead;
    fakeReports.answers.push_back("0");
    freshRun.Start();
    ASSERT_TRUE(fakeTimer.AdvanceToTick());
    std::string told;
    try {
      freshRun.Tick();
      if (c.holdRead) fakeBrowser.AnswerHeld();
    } catch (const Exception& e) {
      told = e.Message();
    }
    EXPECT_EQ(told, c.error);
    EXPECT_EQ(freshRun.State(), RunState::kIdle);
    EXPECT_FALSE(fakeTimer.enabled);
    EXPECT_EQ(fakeReports.state, RunState::kIdle);
    EXPECT_EQ(fakeReports.finishes, 1);
    EXPECT_EQ(fakeProgress.written, c.written);

    // The next run goes as any other.
    fakeProgress.fail = fakeBrowser.failRead = fakeBrowser.holdAnswers = false;
    fakeBrowser.pages = [](const std::string&) { return std::string("13800000001"); };
    fakeReports.answers.push_back("0");
    freshRun.Start();
    ASSERT_TRUE(fakeTimer.AdvanceToTick());
    freshRun.Tick();
    EXPECT_EQ(freshRun.FoundCount(), 1);
    EXPECT_EQ(fakeReports.finishes, 2);
  }
}

TEST_F(SearchRunTest, TheTickAsksForTheTextAndItsAnswerCarriesTheRunOn) {
  run.KeywordList() = {"a"};
  engine.pagerPages = {{"a", 5}};
  browser.holdAnswers = true;
  StartAt("0");
  EXPECT_EQ(run.State(), RunState::kStarting);
  Tick();
  EXPECT_EQ(run.State(), RunState::kWaitingForPage);
  EXPECT_TRUE(run.PageOnItsWay());
  EXPECT_FALSE(timer.enabled);
  EXPECT_EQ(run.FoundCount(), 0);
  EXPECT_EQ(browser.navigated.size(), 1u);

  timer.now += 700;  // the answer takes a while; the next wait starts from it
  browser.AnswerHeld();
  EXPECT_EQ(run.State(), RunState::kSearching);
  EXPECT_FALSE(run.PageOnItsWay());
  EXPECT_EQ(run.FoundCount(), 1);
  EXPECT_EQ(browser.navigated.back(), Url("a", 10));
  EXPECT_TRUE(timer.enabled);
  EXPECT_EQ(timer.due, 10700 + 8000);
}

TEST_F(SearchRunTest, APageThatComesWhileTheResumeQuestionIsOpenEndsTheStoppingRunFirst) {
  run.KeywordList() = {"a", "b"};
  engine.pagerPages = {{"a", 5}};
  browser.holdAnswers = true;
  StartAt("0");
  Tick();
  run.Stop();
  reports.holdAnswer = true;
  run.Start();  // asks, and returns with the question open
  run.Start();  // a second Search meanwhile asks nothing more
  EXPECT_EQ(reports.Offered().size(), 2u);
  EXPECT_EQ(reports.state, RunState::kStopping);

  browser.AnswerHeld();  // the stopping run's page: scanned, then the run ends
  EXPECT_EQ(run.FoundCount(), 1);
  EXPECT_EQ(reports.state, RunState::kIdle);
  EXPECT_EQ(progress.written, std::vector<int>{0});

  reports.AnswerHeld("1");  // the new run starts from the answer
  EXPECT_EQ(reports.state, RunState::kStarting);
  EXPECT_EQ(browser.navigated.back(), Url("b", 0));
  EXPECT_EQ(run.FoundCount(), 0);
}

// What comes between the tick and its page's text, and what the text then
// does.
struct WhileReading {
  const char* what;
  bool stop;
  bool search;                             // Search pressed after Stop
  std::optional<std::string> startAnswer;  // the resume prompt's answer; none: Cancel
  int foundAfter;                          // numbers counted once the text came
  std::vector<std::string> navigated;
  std::vector<int> progressWritten;
  RunState stateAfter;
};

// A run on stand-ins of its own, one for each case of a table.

TEST(SearchRunReading, WhatComesWhileThePageIsReadDecidesWhatItsTextDoes) {
  const WhileReading cases[] = {
      {"nothing: the next page",
       false,
       false,
       {},
       1,
       {Url("a", 0), Url("a", 10)},
       {},
       RunState::kSearching},
      {"Stop: scanned, then finished",
       true,
       false,
       {},
       1,
       {Url("a", 0)},
       {0},
       RunState::kIdle},
      {"Stop and a cancelled Search: as Stop",
       true,
       true,
       {},
       1,
       {Url("a", 0)},
       {0},
       RunState::kIdle},
      {"Stop and Search: dropped unread",
       true,
       true,
       "1",
       0,
       {Url("a", 0), Url("b", 0)},
       {},
       RunState::kStarting},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FreshRun fresh;
    auto& [reports, browser, timer, addresses, progress, files, results, run] = fresh;
    run.KeywordList() = {"a", "b"};
    browser.pages = [](const std::string& url) {
      return url + "\r\n13800000001\r\n1 2 " + Gbk("下一页>");
    };
    browser.holdAnswers = true;
    reports.answers.push_back("0");
    run.Start();
    ASSERT_TRUE(timer.AdvanceToTick());
    run.Tick();

    if (c.stop) run.Stop();
    if (c.search) {
      reports.answers.push_back(c.startAnswer);
      run.Start();
    }
    const long long newRunDue = timer.due;
    browser.holdAnswers = false;
    browser.AnswerHeld();  // after a new run's Search the old text is nobody's

    EXPECT_EQ(run.FoundCount(), c.foundAfter);
    EXPECT_EQ(results.Count(), c.foundAfter);
    EXPECT_EQ(browser.navigated, c.navigated);
    EXPECT_EQ(progress.written, c.progressWritten);
    EXPECT_EQ(run.State(), c.stateAfter);
    EXPECT_EQ(reports.state, c.stateAfter);
    if (c.startAnswer) {
      // The new run's first page keeps its own 10 s wait, and runs on.
      EXPECT_EQ(timer.due, newRunDue);
      EXPECT_EQ(newRunDue, timer.now + 10000);
      ASSERT_TRUE(timer.AdvanceToTick());
      run.Tick();
      EXPECT_EQ(run.FoundCount(), 1);
      EXPECT_EQ(browser.navigated.back(), Url("b", 10));
    }
  }
}

TEST_F(SearchRunTest, TheResumePointIsTheKeywordSearchedOnceARunHasStarted) {
  run.KeywordList() = {"a", "b", "c"};
  run.SetKeywordIndex(2);  // as the progress file or a recovery sets it
  EXPECT_EQ(run.ResumePoint(), 2);
  StartAt("1");
  EXPECT_EQ(run.ResumePoint(), 1);  // "b" is being searched
  RunToEnd();
  EXPECT_EQ(run.ResumePoint(), 2);  // "c" was searched last
  EXPECT_EQ(progress.written, std::vector<int>{run.ResumePoint()});
}

TEST_F(SearchRunTest, TheNextWaitComesFromTheFieldAtTheTickAndIsAtLeastASecond) {
  const std::pair<const char*, long long> cases[] = {
      {"8", 8000},
      {"1000", 1000000},
      {"1", 1000},
      {"0", 1000},
      {"-3", 1000},
      {"abc", 1000},
      {"", 1000},
      {"12 ", 1000},
      {"$10", 16000},
      {"5000", 5000000},
      {"2147483647", 2147483000},
  };
  run.KeywordList() = {"a"};
  engine.pagerPages = {{"a", 100}};
  StartAt("0");
  for (const auto& [text, wait] : cases) {
    SCOPED_TRACE(text);
    reports.interval = text;
    Tick();
    EXPECT_EQ(timer.interval, wait);
  }
}

}  // namespace
}  // namespace harvest
