#pragma once
// What a search run needs from the world around it, and what it tells it.
// The search session stands behind these ports in the program; tests put
// fakes in their place. The run reports values and asks typed questions; how
// they are shown, and in which words, is the window's business.

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace harvest {

// What a run is doing. Commands follow it: Search and Import while idle or
// stopping, Stop while it starts, searches, waits for a page or holds.
enum class RunState {
  kIdle,            // no run: none yet, or the last one has ended
  kStarting,        // Start has asked for the first page; the first tick is still to come
  kSearching,       // a page is asked for; the timer counts down to its read
  kWaitingForPage,  // the tick has come: the page's load, then its text, are still to come
  kHolding,         // the page asked for did not come: asked again after a wait (RunEvent says why)
  kStopping,        // Stop was pressed: a page on its way is still read, then the run ends
};

// A run's figures once it has ended.
struct RunSummary {
  int found = 0;            // FoundCount: numbers counted
  int pagesRead = 0;        // pages that came and were scanned
  int pagesGivenUp = 0;     // pages whose process hung or died three times
  std::int64_t heldMs = 0;  // time spent holding for pages that did not come
  bool operator==(const RunSummary&) const = default;
};

// Why a run holds: the page it asked for did not come.
enum class HoldReason {
  kNetworkDown,      // the load failed for a network reason
  kRefused,          // the engine answered 408, 429 or 5xx
  kElsewhere,        // the load ended on another host, such as a verification page
  kNotLoaded,        // the load had not ended by the deadline: a server or network that stalls
  kFilesUnwritable,  // the run's numbers file cannot be written (a full disk): kept until it can
};

// What happens to the pages of a run beyond its status: for the window's
// words and the run's log.
struct RunEvent {
  enum class Kind {
    kHolding,   // a try failed: why, the wait before the next, the hold's failed tries so far
    kGoingOn,   // the page came after holds: its failed tries and the time waited, in all
    kRetrying,  // the page's process hung or died: asked again with a fresh one (try 2 or 3)
    kGivenUp,   // it hung or died a third time: given up, the run goes on with the next keyword
    kWaitingForLoad,  // at the tick the page was still loading: read once it has loaded, or
                      // judged not come after `waitMs`
  };
  Kind kind = Kind::kHolding;
  HoldReason reason = HoldReason::kNetworkDown;
  int httpStatus = 0;     // kRefused: the status
  int waitMs = 0;         // kHolding: until the next try; kGoingOn: waited in all;
                          // kWaitingForLoad: the most it is waited for
  int tries = 0;          // the tries that failed, or the try now made
  bool hung = false;      // kRetrying, kGivenUp: hung (else its process died)
  int keywordNumber = 0;  // the page's keyword, 1-based
  int pageOffset = 0;     // the page's result offset
  bool operator==(const RunEvent&) const = default;
};

// What a run tells the user on its way.
enum class RunMessage {
  kNotConnected,      // the host has only the loopback address: no run
  kResumeBeyondList,  // the resume point is past the last keyword: the run starts at 0
};

// The user's settings, as they stand at the moment the run asks.
class RunSettings {
 public:
  virtual ~RunSettings() = default;
  // Whether a number already listed is skipped.
  virtual bool Deduplicate() const = 0;
  // The page interval's text, typed or not; the run reads it as seconds.
  virtual std::string IntervalText() const = 0;
};

// What a run reports and asks as it goes.
class RunReports {
 public:
  // The user's answer to the resume question: the text typed, or nothing
  // when the question was cancelled.
  using ResumeAnswer = std::function<void(std::optional<std::string>)>;

  virtual ~RunReports() = default;
  // The 1-based number of the keyword being searched (KeywordIndex).
  virtual void ReportKeywordNumber(int number) = 0;
  // FoundCount: numbers added in this run.
  virtual void ReportFoundCount(int count) = 0;
  // The run's state, each time it changes.
  virtual void ReportState(RunState state) = 0;
  // The run has ended (its state is idle again) and its resume point is
  // recorded, or failed to be.
  virtual void ReportFinished(const RunSummary& summary) = 0;
  virtual void Tell(RunMessage message) = 0;
  virtual void ReportEvent(const RunEvent& event) = 0;
  // Asks for the keyword to resume from, `offered` first, and returns; the
  // run starts when `answer` is called with the text (at once or later, on
  // this thread). The run may have gone on meanwhile: a stopping run's page
  // still comes while the user thinks.
  virtual void AskResumePoint(int offered, ResumeAnswer answer) = 0;
};

// How the page's main-frame load ended, as the browser saw it. The run
// decides from it whether a result page came or must be asked again.
struct PageLoad {
  enum class Ending {
    kNotEnded,       // the load asked for had not ended when the page was read: what the
                     // browser shows is still the page before, or nothing of this one yet
    kLoaded,         // an answer came; `httpStatus` is its status (0 for a scheme without one)
    kNetworkFailed,  // no answer: connection refused or reset, a name not found, a timeout, offline
    kOtherFailure,   // failed otherwise (a certificate refused, content that cannot be shown)
    kHung,           // the page process did not answer the read in time and was ended
    kProcessGone,    // the page process died (a crash, a kill, out of memory)
  };
  Ending ending = Ending::kNotEnded;
  int httpStatus = 0;
  std::string url;  // where the load ended, after redirects
  bool operator==(const PageLoad&) const = default;
};

// What a page read ends with: the body's text, or the error that kept it
// from coming (no document, no body, no answer in time, the page's process
// gone); and how the page's load ended.
struct PageText {
  std::string text;  // lines broken by CR LF, in GBK
  std::exception_ptr error;
  PageLoad load;
};

class PageBrowser {
 public:
  using PageTextHandler = std::function<void(PageText)>;
  using LoadEndHandler = std::function<void()>;

  virtual ~PageBrowser() = default;
  // Starts loading `url`; the page is read later, at the timer's tick.
  virtual void Navigate(const std::string& url) = 0;
  // Whether the load Navigate started has ended; when the page has since
  // sent itself on (a script, a refresh), whether that load has. An ending
  // of the page before never counts.
  virtual bool LoadEnded() const = 0;
  // Calls `handler` once that load ends, on this thread, after this has
  // returned; never once Navigate has been called again, nor after the
  // browser is gone. A later call takes the place of an earlier one.
  virtual void WhenLoadEnds(LoadEndHandler handler) = 0;
  // Asks for the rendered text of the page body and returns. `handler` gets
  // the answer once, on this thread: at once, before this returns, or later;
  // never after the browser is gone. The answer tells how the load had
  // ended when the text was asked for.
  virtual void RequestPageText(PageTextHandler handler) = 0;
};

// The one timer that paces a run. Setting the interval of a running timer
// restarts its wait; enabling a running timer changes nothing.
class RunTimer {
 public:
  virtual ~RunTimer() = default;
  virtual void SetInterval(int milliseconds) = 0;
  virtual void SetEnabled(bool enabled) = 0;
};

class AddressLookup {
 public:
  virtual ~AddressLookup() = default;
  // The host's IPv4 addresses in dotted-quad form, in the system's order.
  // Raises when they cannot be found.
  virtual std::vector<std::string> HostAddresses() = 0;
};

class ProgressWriter {
 public:
  virtual ~ProgressWriter() = default;
  // Records the resume point; raises the file error when the write fails.
  virtual void WriteProgress() = 0;
};

// Where the run's counted numbers are kept. When they cannot be written the
// run holds (SearchRun::HoldForFiles); at each of the hold's ticks it asks
// for another try, whose outcome comes later (FilesWritable, or the hold
// again).
class RunFilesKeeper {
 public:
  virtual ~RunFilesKeeper() = default;
  virtual void TryWritingAgain() = 0;
};

}  // namespace harvest
