#pragma once
// A search run: the keywords of the list, one after the other from a resume
// point the user confirms, each paged through the search engine's result
// pages. One timer paces it: at the tick the page asked for is read when its
// load has ended; one still loading is read once it has, or, past a deadline
// of a few intervals, counts as not come. The read asks for the page's text
// and returns; the answer carries the run on. Its state (RunState, reported
// on every change):
//
//   Idle --Start, answered--> Starting --Tick--> WaitingForPage
//   WaitingForPage --text: next page or keyword--> Searching --Tick--> WaitingForPage
//   WaitingForPage --text: keywords used up, or Stop seen--> Finish --> Idle
//   WaitingForPage --read failed, or any error in the step--> Finish --> Idle
//   (the error is told after the run has ended)
//   WaitingForPage --the page did not come--> Holding --Tick--> Searching
//   (the same page asked again; see page_arrival.h)
//   WaitingForPage --its process hung or died--> Searching (asked again,
//   with a fresh process, twice; the third time it is given up and the run
//   goes on with the next keyword)
//   Starting, Searching, WaitingForPage --Stop--> Stopping --text--> Finish --> Idle
//   Holding, or WaitingForPage for a load --Stop--> Finish --> Idle
//
// WaitingForPage covers the wait for a load that had not ended at the tick
// (RunEvent kWaitingForLoad): its end starts the read; at the deadline the
// page is read as it is, and unless its process hung, it did not come. The
// page before, still on screen, is never read for it.
//
// A hold never ends by itself: the page is asked again after the page
// interval, then after twice the wait before, up to ten minutes, until it
// comes or the user stops the run. A page that fails for another reason
// (the network back, the engine now refusing) starts a new hold. Stop during a hold, or while a
// load is waited for, ends the run at once, its resume point on the keyword being searched: a
// page that may never come is not waited for. Otherwise Stop sets StopRequested (the run is then
// stopping) and is obeyed when the page's text arrives. Start from a stopping run begins a new
// one at once; a text still to come for the old run is then dropped unread.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "harvest/page_scanner.h"
#include "harvest/query_url.h"
#include "harvest/result_list.h"
#include "harvest/search_ports.h"
#include "harvest/text_list.h"

namespace harvest {

struct SearchPorts {
  RunReports& reports;
  RunSettings& settings;
  PageBrowser& browser;
  RunTimer& timer;
  AddressLookup& addresses;
  ProgressWriter& progress;
  RunFilesKeeper& files;
};

// Where a run restored after a crash goes on: its keyword, the page it was
// reading, and its count so far.
struct ResumePlace {
  int keywordNumber = 1;  // 1-based, as KeywordIndex while it is searched
  int pageOffset = 0;
  int foundCount = 0;
};

class SearchRun {
 public:
  static constexpr int kFirstWaitMs = 10000;
  static constexpr int kPageStep = 10;
  // Paging ends once the offset reaches this: 75 pages, offsets 0 to 740.
  static constexpr int kOffsetLimit = 750;

  SearchRun(SearchPorts ports, ResultList& results,
            std::string queryPrefix = std::string(kQueryPrefix));

  // The commands and events of a run.
  void Start();  // the Search command: asks for the resume point, then starts
  // Goes on with a run restored after a crash, at its page, its count going
  // on and the list as it stands; false (nothing done) when the place is not
  // one of the keyword list's.
  bool ResumeAt(const ResumePlace& place);
  void RequestPage();  // the first request of a run
  void Tick();         // the timer's event: asks for the page's text, or waits for its load
  void Stop();         // the Stop command: obeyed when the page's text arrives, or at once
  // The run's numbers cannot be written: the run holds until they can (a
  // page on its way is read first), asking for another try at each of the
  // hold's ticks; called again when a try fails. FilesWritable ends it.
  void HoldForFiles();
  void FilesWritable();
  void Finish();       // ends the run and records the resume point; raises
                       // after the end when the record fails

  RunState State() const { return state_; }
  // Whether a page's text is on its way: asked at the tick, not yet come.
  bool PageOnItsWay() const { return phase_ == Phase::kReadingPage; }

  LineList& KeywordList() { return keywordList_; }
  const LineList& KeywordList() const { return keywordList_; }
  // Index of the next keyword to start; while a keyword is searched it is
  // that keyword's index + 1, its 1-based number.
  int KeywordIndex() const { return keywordIndex_; }
  void SetKeywordIndex(int index) { keywordIndex_ = index; }
  // The keyword a run resumed now would start from: once a run has started,
  // the one being searched (or searched last), KeywordIndex - 1 as the
  // progress file records it; before that, KeywordIndex as it was set (from
  // the progress file or a recovery).
  int ResumePoint() const { return started_ ? keywordIndex_ - 1 : keywordIndex_; }

  int PageOffset() const { return pageOffset_; }
  // The offset of the page asked for last: the one a run restored now reads
  // again.
  int PageAskedFor() const { return pageOffset_ >= kPageStep ? pageOffset_ - kPageStep : 0; }
  const std::string& QueryBase() const { return queryBase_; }
  bool StopRequested() const { return stopRequested_; }
  bool MorePages() const { return morePages_; }
  int FoundCount() const { return scan_.foundCount; }
  // The numbers counted since the last call, in order (FoundCount's lines).
  std::vector<std::string> TakeCounted() { return std::exchange(scan_.counted, {}); }
  void SetFoundCount(int count) { scan_.foundCount = count; }
  const std::string& PrefixA() const { return scan_.prefixA; }
  const std::string& PrefixB() const { return scan_.prefixB; }
  const LineList& PageLines() const { return pageLines_; }
  // The run's figures so far (the last run's, once it has ended).
  RunSummary Summary() const { return {scan_.foundCount, pagesRead_, pagesGivenUp_, heldMs_}; }

 private:
  enum class Phase {
    kIdle,            // no run, or one that ended or failed
    kWaitingForPage,  // a page requested, the timer armed
    kWaitingForLoad,  // the page was still loading at the tick; the timer counts the deadline
    kReadingPage,     // the page's text is asked for, and still to come
    kHolding,         // the page did not come; the timer waits to ask for it again
  };

  // The resume question answered: the run starts from the keyword given.
  void StartAt(const std::string& answer);
  // A run's counters and list made ready for a run that starts now.
  void Begin(bool clearList, int foundCount);
  // Sets the state, and reports it when it changed.
  void SetState(RunState state);
  // Takes keyword KeywordIndex: its query base, fresh prefixes, index + 1.
  void StartKeyword();
  // Navigates to the page at PageOffset and arms the timer.
  void RequestNextPage();
  // The wait after the tick: the interval field in seconds, at least 1.
  int IntervalMilliseconds() const;
  // The tick's read, or the wait for a load that has not ended.
  void ReadPage();
  void WaitForLoad();
  void LoadEnded(std::uint64_t wait);
  // The answer to read number `read`: scanned when the run still waits for
  // it; a failed read is raised.
  void PageTextArrived(std::uint64_t read, PageText page);
  // Scans the page's text and requests the next page, or finishes.
  void ProcessPage(std::string text);
  // A step that failed ends the run, unless it has ended already.
  void EndAfterFailure();
  // The keyword's pages are done: the next keyword, or the run's end.
  void NextKeyword();
  // A page that did not come: the run holds, then asks for it again.
  void Hold(HoldReason reason, int httpStatus);
  // A hold over after `tries` tries: said, and its counters back to none.
  void EndHold(int tries);
  // A page whose process hung or died: asked again, or given up.
  void PageStalled(bool hung);
  // The page asked for last, asked for again; the timer paces its read.
  void AskAgain();
  RunEvent EventOfThisPage(RunEvent::Kind kind) const;

  SearchPorts ports_;
  ResultList& results_;
  std::string queryPrefix_;

  LineList keywordList_;
  LineList pageLines_;
  int keywordIndex_ = 0;
  int pageOffset_ = 0;
  std::string queryBase_;
  bool stopRequested_ = false;
  bool morePages_ = false;
  ScanState scan_;
  Phase phase_ = Phase::kIdle;
  RunState state_ = RunState::kIdle;
  bool asking_ = false;           // the resume question is open
  bool filesFailing_ = false;     // the run's numbers cannot be written
  bool started_ = false;          // a run has started in this program
  bool ended_ = true;             // the run that started last has finished
  std::uint64_t readsAsked_ = 0;  // numbers the reads and load waits, so a late answer is known

  std::string pageUrl_;  // the page asked for last
  HoldReason holdReason_ = HoldReason::kNetworkDown;
  int holdTries_ = 0;              // failed tries of the page in this hold
  int pageFailures_ = 0;           // in all its holds
  int holdWaitMs_ = 0;             // the wait before its next try
  std::int64_t holdWaitedMs_ = 0;  // in all its holds
  int stallTries_ = 0;             // times the page's process hung or died
  int loadWaitMs_ = 0;             // waited at the tick for the page's load to end
  int pagesRead_ = 0;
  std::int64_t heldMs_ = 0;
  int pagesGivenUp_ = 0;
};

}  // namespace harvest
