#include "harvest/search_run.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>

#include "harvest/errors.h"
#include "harvest/local_address.h"
#include "harvest/page_arrival.h"
#include "harvest/text.h"

namespace harvest {
namespace {

constexpr std::string_view kPrefixA = "13";
constexpr std::string_view kPrefixB = "15";

}  // namespace

SearchRun::SearchRun(SearchPorts ports, ResultList& results, std::string queryPrefix)
    : ports_(ports), results_(results), queryPrefix_(std::move(queryPrefix)) {}

void SearchRun::Start() {
  auto& reports = ports_.reports;
  if (asking_) return;  // the question is open already
  if (!IsConnected(LocalAddress(ports_.addresses))) {
    reports.Tell(RunMessage::kNotConnected);
    return;
  }
  if (keywordList_.empty()) throw NoKeywordsError();

  // The run starts once the user answers; a page of a stopping run may come
  // meanwhile and end it.
  asking_ = true;
  reports.AskResumePoint(keywordIndex_, [this](std::optional<std::string> answer) {
    asking_ = false;
    if (answer) StartAt(*answer);
  });
}

void SearchRun::StartAt(const std::string& answer) {
  auto& reports = ports_.reports;
  const int resumeAt = ParseInteger(answer);

  keywordIndex_ = std::max(resumeAt, 0);
  if (keywordIndex_ != 0 && keywordIndex_ >= static_cast<int>(keywordList_.size())) {
    reports.Tell(RunMessage::kResumeBeyondList);
    keywordIndex_ = 0;
  }

  StartKeyword();
  pageOffset_ = 0;
  Begin(true, 0);
}

void SearchRun::Begin(bool clearList, int foundCount) {
  auto& reports = ports_.reports;
  started_ = true;
  ended_ = false;
  stopRequested_ = false;
  morePages_ = true;
  filesFailing_ = false;
  scan_.foundCount = foundCount;
  scan_.counted.clear();
  holdTries_ = pageFailures_ = stallTries_ = pagesRead_ = pagesGivenUp_ = 0;
  holdWaitMs_ = 0;
  holdWaitedMs_ = heldMs_ = 0;
  if (clearList) results_.Clear();
  pageLines_.clear();

  ports_.timer.SetInterval(kFirstWaitMs);
  reports.ReportFoundCount(foundCount);
  SetState(RunState::kStarting);
  try {
    RequestPage();
  } catch (const std::exception&) {
    // The first request's failures are not the user's concern: the tick
    // comes anyway and reads whatever the browser holds.
  }
}

bool SearchRun::ResumeAt(const ResumePlace& place) {
  if (asking_ || place.keywordNumber < 1 ||
      place.keywordNumber > static_cast<int>(keywordList_.size()) || place.pageOffset < 0 ||
      place.pageOffset >= kOffsetLimit || place.pageOffset % kPageStep != 0 ||
      place.foundCount < 0) {
    return false;
  }
  keywordIndex_ = place.keywordNumber - 1;
  StartKeyword();
  pageOffset_ = place.pageOffset;
  Begin(false, place.foundCount);
  return true;
}

void SearchRun::SetState(RunState state) {
  if (state == state_) return;
  state_ = state;
  ports_.reports.ReportState(state);
}

void SearchRun::RequestPage() {
  if (!morePages_ || stopRequested_) {
    Finish();
    return;
  }
  RequestNextPage();
}

void SearchRun::RequestNextPage() {
  pageUrl_ = MakePageUrl(queryBase_, pageOffset_);
  const std::string& url = pageUrl_;
  pageOffset_ += kPageStep;
  ports_.reports.ReportKeywordNumber(keywordIndex_);
  if (filesFailing_) {
    // Asked once the numbers can be written again.
    Hold(HoldReason::kFilesUnwritable, 0);
    return;
  }
  phase_ = Phase::kWaitingForPage;
  // The first page's wait is the run's start; every later one, searching.
  if (state_ != RunState::kStarting) SetState(RunState::kSearching);
  try {
    ports_.browser.Navigate(url);
  } catch (const std::exception&) {
    // Navigation errors are dropped; the tick reads what the browser holds.
  }
  ports_.timer.SetEnabled(true);
}

void SearchRun::StartKeyword() {
  queryBase_ =
      MakeKeywordBase(queryPrefix_, keywordList_.at(static_cast<std::size_t>(keywordIndex_)));
  scan_.prefixA = kPrefixA;
  scan_.prefixB = kPrefixB;
  ++keywordIndex_;
}

int SearchRun::IntervalMilliseconds() const {
  // The field keeps its text in 1..1000 only once it loses the focus, so a
  // typed 0 or a negative value can reach here; a zero wait would stop the
  // timer for good, so a run always waits at least a second.
  constexpr std::int64_t kMaxSeconds = std::numeric_limits<int>::max() / 1000;
  const std::int64_t seconds =
      std::clamp<std::int64_t>(ParseIntegerOr(ports_.settings.IntervalText(), 1), 1, kMaxSeconds);
  return static_cast<int>(seconds * 1000);
}

void SearchRun::Tick() {
  switch (phase_) {
    case Phase::kHolding:
      if (holdReason_ == HoldReason::kFilesUnwritable) {
        ports_.timer.SetEnabled(false);
        return ports_.files.TryWritingAgain();
      }
      return AskAgain();
    case Phase::kIdle:  // a tick that was due as the run ended
      return;
    case Phase::kWaitingForLoad:  // the deadline: read as it is, the page hung or did not come
      return ReadPage();
    case Phase::kWaitingForPage:
    case Phase::kReadingPage:
      break;
  }
  loadWaitMs_ = 0;
  if (ports_.browser.LoadEnded()) return ReadPage();
  WaitForLoad();
}

void SearchRun::ReadPage() {
  ports_.timer.SetEnabled(false);
  ports_.timer.SetInterval(IntervalMilliseconds());
  phase_ = Phase::kReadingPage;
  if (!stopRequested_) SetState(RunState::kWaitingForPage);
  const std::uint64_t read = ++readsAsked_;
  ports_.browser.RequestPageText(
      [this, read](PageText page) { PageTextArrived(read, std::move(page)); });
}

void SearchRun::WaitForLoad() {
  // A page that may never come is not waited for once the user has stopped.
  if (stopRequested_) return Finish();
  phase_ = Phase::kWaitingForLoad;
  SetState(RunState::kWaitingForPage);
  // A page held for not loading in time gets the hold's growing wait to
  // load in, so that a slow but working server gets through in the end.
  loadWaitMs_ = std::max(LoadWait(IntervalMilliseconds()), holdWaitMs_);
  ports_.timer.SetInterval(loadWaitMs_);
  ports_.timer.SetEnabled(true);
  const std::uint64_t wait = ++readsAsked_;
  ports_.browser.WhenLoadEnds([this, wait] { LoadEnded(wait); });
  RunEvent event = EventOfThisPage(RunEvent::Kind::kWaitingForLoad);
  event.waitMs = loadWaitMs_;
  ports_.reports.ReportEvent(event);
}

void SearchRun::LoadEnded(std::uint64_t wait) {
  if (wait == readsAsked_ && phase_ == Phase::kWaitingForLoad) ReadPage();
}

void SearchRun::PageTextArrived(std::uint64_t read, PageText page) {
  // A newer run (or a newer tick) has taken over: this text is nobody's.
  if (read != readsAsked_ || phase_ != Phase::kReadingPage) return;
  phase_ = Phase::kIdle;
  switch (JudgePage(page.load, pageUrl_)) {
    case PageArrival::kCame:
      break;
    case PageArrival::kNetworkDown:
      return Hold(HoldReason::kNetworkDown, 0);
    case PageArrival::kRefused:
      return Hold(HoldReason::kRefused, page.load.httpStatus);
    case PageArrival::kElsewhere:
      return Hold(HoldReason::kElsewhere, 0);
    case PageArrival::kNotLoaded:
      // The time it was waited for at the tick is part of the hold.
      holdWaitedMs_ += loadWaitMs_;
      heldMs_ += loadWaitMs_;
      return Hold(HoldReason::kNotLoaded, 0);
    case PageArrival::kStalled:
      return PageStalled(page.load.ending == PageLoad::Ending::kHung);
  }
  stallTries_ = 0;
  if (pageFailures_ > 0) EndHold(pageFailures_);
  if (page.error) {
    EndAfterFailure();
    std::rethrow_exception(page.error);
  }
  try {
    ProcessPage(std::move(page.text));
  } catch (...) {
    if (phase_ == Phase::kIdle) EndAfterFailure();
    throw;
  }
}

void SearchRun::ProcessPage(std::string text) {
  LineList lines = SplitAtCrLf(text);
  morePages_ = HasNextPage(lines) && pageOffset_ < kOffsetLimit;

  pageLines_ = std::move(lines);
  ++pagesRead_;
  const int foundBefore = scan_.foundCount;
  ScanNumbers(pageLines_, scan_, results_, ports_.settings.Deduplicate());
  if (scan_.foundCount != foundBefore) ports_.reports.ReportFoundCount(scan_.foundCount);

  if (morePages_) {
    if (stopRequested_) {
      Finish();
    } else {
      RequestNextPage();
    }
    return;
  }
  NextKeyword();
}

void SearchRun::NextKeyword() {
  pageOffset_ = 0;
  if (keywordIndex_ >= static_cast<int>(keywordList_.size()) || stopRequested_) {
    Finish();
    return;
  }
  StartKeyword();
  RequestNextPage();
}

RunEvent SearchRun::EventOfThisPage(RunEvent::Kind kind) const {
  RunEvent event;
  event.kind = kind;
  event.reason = holdReason_;
  event.keywordNumber = keywordIndex_;
  event.pageOffset = pageOffset_ - kPageStep;  // advanced when it was asked for
  return event;
}

void SearchRun::Hold(HoldReason reason, int httpStatus) {
  if (stopRequested_) {
    Finish();
    return;
  }
  // Another reason is another hold: its own notice, its waits from the start.
  if (holdTries_ > 0 && reason != holdReason_) holdTries_ = holdWaitMs_ = 0;
  holdReason_ = reason;
  ++holdTries_;
  ++pageFailures_;
  holdWaitMs_ = NextHoldWait(holdWaitMs_, IntervalMilliseconds());
  holdWaitedMs_ += holdWaitMs_;
  heldMs_ += holdWaitMs_;
  phase_ = Phase::kHolding;
  ports_.timer.SetInterval(holdWaitMs_);
  ports_.timer.SetEnabled(true);
  RunEvent event = EventOfThisPage(RunEvent::Kind::kHolding);
  event.httpStatus = httpStatus;
  event.waitMs = holdWaitMs_;
  event.tries = holdTries_;
  ports_.reports.ReportEvent(event);
  SetState(RunState::kHolding);
}

void SearchRun::PageStalled(bool hung) {
  if (stopRequested_) {
    Finish();
    return;
  }
  constexpr int kTriesOfAStalledPage = 3;
  RunEvent event = EventOfThisPage(RunEvent::Kind::kRetrying);
  event.hung = hung;
  event.tries = ++stallTries_ + 1;
  if (stallTries_ < kTriesOfAStalledPage) {
    ports_.reports.ReportEvent(event);
    AskAgain();
    return;
  }
  event.kind = RunEvent::Kind::kGivenUp;
  event.tries = stallTries_;
  ports_.reports.ReportEvent(event);
  ++pagesGivenUp_;
  stallTries_ = 0;
  NextKeyword();
}

void SearchRun::AskAgain() {
  if (filesFailing_) {
    Hold(HoldReason::kFilesUnwritable, 0);
    return;
  }
  phase_ = Phase::kWaitingForPage;
  SetState(RunState::kSearching);
  ports_.timer.SetInterval(IntervalMilliseconds());
  try {
    ports_.browser.Navigate(pageUrl_);
  } catch (const std::exception&) {
    // As for any request: the tick reads what the browser holds.
  }
  ports_.timer.SetEnabled(true);
}

void SearchRun::HoldForFiles() {
  filesFailing_ = true;
  // A page on its way is read first; a page asked for, or a hold for a page,
  // gives way to this hold (asked again once the numbers are written).
  if (phase_ == Phase::kWaitingForPage ||
      (phase_ == Phase::kHolding && holdReason_ == HoldReason::kFilesUnwritable)) {
    Hold(HoldReason::kFilesUnwritable, 0);
  }
}

void SearchRun::FilesWritable() {
  if (!std::exchange(filesFailing_, false)) return;
  if (phase_ != Phase::kHolding || holdReason_ != HoldReason::kFilesUnwritable) return;
  EndHold(holdTries_);
  AskAgain();
}

void SearchRun::EndHold(int tries) {
  // The log's "going on" line: how many tries, how long held in all.
  RunEvent event = EventOfThisPage(RunEvent::Kind::kGoingOn);
  event.tries = tries;
  event.waitMs =
      static_cast<int>(std::min<std::int64_t>(holdWaitedMs_, std::numeric_limits<int>::max()));
  ports_.reports.ReportEvent(event);
  holdTries_ = holdWaitMs_ = pageFailures_ = 0;
  holdWaitedMs_ = 0;
}

void SearchRun::Stop() {
  stopRequested_ = true;
  SetState(RunState::kStopping);
  // No page is on its way during a hold, nor while its load is waited for.
  if (phase_ == Phase::kHolding || phase_ == Phase::kWaitingForLoad) Finish();
}

void SearchRun::Finish() {
  phase_ = Phase::kIdle;
  ports_.timer.SetEnabled(false);
  // The run ends whether or not its resume point could be written (a full
  // disk): the failure is told after it.
  std::exception_ptr failure;
  try {
    ports_.progress.WriteProgress();
  } catch (...) {
    failure = std::current_exception();
  }
  ended_ = true;
  SetState(RunState::kIdle);
  ports_.reports.ReportFinished(Summary());
  if (failure) std::rethrow_exception(failure);
}

void SearchRun::EndAfterFailure() {
  // The step's own error is the one told; a progress file that cannot be
  // written would fail the next Finish or Save progress the same way.
  if (ended_) return;
  try {
    Finish();
  } catch (const std::exception&) {
  }
}

}  // namespace harvest
