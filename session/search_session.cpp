#include "session/search_session.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "harvest/file_stream.h"
#include "harvest/text.h"
#include "harvest/text_file.h"
#include "platform/file_names.h"
#include "platform/freed_memory.h"
#include "platform/gbk_codec.h"
#include "platform/interface_addresses.h"
#include "platform/web_engine_browser.h"

namespace session {
namespace {

// The run's timer as the window has it before any run.
constexpr int kTimerIntervalAtCreation = 8000;
// Freed memory goes back to the system after this many pages.
constexpr int kPagesPerMemoryReturn = 10;

harvest::FilePath RunsDirOf(const SessionOptions& options) {
  return options.runsDir ? *options.runsDir : platform::RunsDir(options.appDir);
}

}  // namespace

SearchSession::SearchSession(SessionOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      writer_([this](harvest::WriterThread::Channel channel, const std::string& message) {
        // On the writer's thread: told on the session's.
        QMetaObject::invokeMethod(
            this,
            [this, channel, reason = platform::FromGbk(message)] {
              TellFileFailure(channel, reason);
            },
            Qt::QueuedConnection);
      }),
      runFiles_(RunsDirOf(options_), writer_),
      intervalText_(QString::number(kDefaultInterval)) {
  browser_ = options_.browser ? std::move(options_.browser)
                              : std::make_unique<platform::WebEngineBrowser>();
  if (!options_.addresses) options_.addresses = std::make_unique<platform::InterfaceAddresses>();
  if (!options_.returnFreedMemory) options_.returnFreedMemory = platform::ReturnFreedMemory;
  timer_ = std::make_unique<platform::QtRunTimer>(kTimerIntervalAtCreation, [this] { OnTick(); });
  run_ = std::make_unique<harvest::SearchRun>(
      harvest::SearchPorts{*this, *this, *this, *timer_, *options_.addresses, *this}, results_,
      options_.queryPrefix);
}

SearchSession::~SearchSession() {
  // A merge still running (the program ended without its close question)
  // is waited for; its end is nobody's business any more.
  if (merge_) merge_->disconnect(this);
  merge_.reset();
}

void SearchSession::TellingFailure(const std::function<void()>& work) {
  try {
    work();
  } catch (...) {
    Q_EMIT Failed(std::current_exception());
  }
}

// --- start --------------------------------------------------------------------

void SearchSession::RestoreAtStart() {
  TellingFailure([this] {
    harvest::RestoreProgressFile(options_.appDir.Child(harvest::kProgressFileName), *this);
  });
  OpenRecoveryRecord();
}

// --- commands -----------------------------------------------------------------

void SearchSession::ImportKeywords(const harvest::FilePath& file) {
  SetKeywordFile(file.text);
  keywordCount_ = harvest::CountTextFileLines(file);
  Q_EMIT KeywordCountChanged(keywordCount_);
  run_->KeywordList() = harvest::LoadLines(file);
  results_.Clear();
  KeepRecord();
}

void SearchSession::StartSearch() {
  run_->Start();
}

void SearchSession::StopSearch() {
  // During a hold, or the wait for a page's load, the run ends at once; a
  // progress file that cannot be written is raised after it has.
  run_->Stop();
}

void SearchSession::SaveResults(const harvest::FilePath& file) const {
  // One number per line; the old file stays whole until the new one is.
  harvest::SaveLines(file, results_.Rows());
}

void SearchSession::SaveProgress() {
  WriteProgress();
}

void SearchSession::MergeDataFiles(const std::vector<harvest::FilePath>& inputs,
                                   const harvest::FilePath& output) {
  if (merge_) return;  // one merge at a time
  merge_ = std::make_unique<MergeTask>(inputs, output);
  connect(merge_.get(), &MergeTask::Progressed, this, &SearchSession::MergeProgressed);
  connect(merge_.get(), &MergeTask::Ended, this, &SearchSession::MergeEnded);
  EmitState();
}

void SearchSession::MergeEnded() {
  const MergeTask::Outcome outcome = merge_->Result();
  // Deleted later: this runs inside the task's own signal.
  merge_.release()->deleteLater();
  EmitState();
  if (outcome.count) Q_EMIT MergeCounted(*outcome.count);
  if (outcome.error) Q_EMIT Failed(outcome.error);
  TakeWhatWaited();
}

// --- the run's events ---------------------------------------------------------

void SearchSession::OnTick() {
  // A merge runs to its end first, as if it held the thread; the timer's
  // later ticks meanwhile are the same one tick.
  if (merge_) {
    Enqueue(Waiting::Kind::kTick, [this] { OnTick(); });
    return;
  }
  TellingFailure([this] { run_->Tick(); });
}

void SearchSession::Navigate(const std::string& url) {
  browser_->Navigate(url);
}

bool SearchSession::LoadEnded() const {
  return browser_->LoadEnded();
}

void SearchSession::WhenLoadEnds(LoadEndHandler handler) {
  browser_->WhenLoadEnds([this, handler = std::move(handler)] {
    // It starts the page's read: after a merge, as a page's text would be.
    if (merge_) {
      Enqueue(Waiting::Kind::kPageText, [this, handler] { TellingFailure(handler); });
      return;
    }
    TellingFailure(handler);
  });
}

void SearchSession::RequestPageText(PageTextHandler handler) {
  browser_->RequestPageText([this, handler = std::move(handler)](harvest::PageText page) {
    TakePageText(handler, std::move(page));
  });
}

void SearchSession::TakePageText(const PageTextHandler& handler, harvest::PageText page) {
  if (merge_) {
    Enqueue(Waiting::Kind::kPageText,
            [this, handler, page = std::move(page)] { ProcessPageText(handler, page); });
    return;
  }
  ProcessPageText(handler, std::move(page));
  TakeWhatWaited();
}

void SearchSession::ProcessPageText(const PageTextHandler& handler, harvest::PageText page) {
  // The page's step of the run: scanned, the next page asked for, or the
  // run finished; its errors (a failed read, a progress file that cannot
  // be written) are told once the run has ended.
  TellingFailure([&] { handler(std::move(page)); });
  AfterStep();
}

void SearchSession::AfterStep() {
  resultModel_.ShowNewRows();
  // The numbers first: the record names the file that holds them.
  KeepRunFile();
  KeepRecord();
  if (++pageSteps_ % kPagesPerMemoryReturn == 0) options_.returnFreedMemory();
}

// --- what waits ---------------------------------------------------------------

bool SearchSession::Busy() const {
  return merge_ || run_->PageOnItsWay();
}

void SearchSession::CloseWhenIdle() {
  Enqueue(Waiting::Kind::kClose, [this] { Q_EMIT CloseDue(); });
  TakeWhatWaited();
}

void SearchSession::Enqueue(Waiting::Kind kind, std::function<void()> take) {
  const auto same = [kind](const Waiting& w) { return w.kind == kind; };
  // One tick stands for all that came; one close for all the user asked.
  if (kind != Waiting::Kind::kPageText && std::any_of(waiting_.begin(), waiting_.end(), same))
    return;
  // A close goes after every run event.
  const auto close = std::find_if(waiting_.begin(), waiting_.end(),
                                  [](const Waiting& w) { return w.kind == Waiting::Kind::kClose; });
  waiting_.insert(kind == Waiting::Kind::kClose ? waiting_.end() : close, {kind, std::move(take)});
}

void SearchSession::TakeWhatWaited() {
  while (!waiting_.empty() && !merge_) {
    if (waiting_.front().kind == Waiting::Kind::kClose && Busy()) return;
    const Waiting next = std::move(waiting_.front());
    waiting_.pop_front();
    next.take();
  }
}

void SearchSession::EmitState() {
  Q_EMIT StateChanged(GetState(), Merging());
}

void SearchSession::EndNormally() {
  recovery_.Remove();
}

void SearchSession::EndAtOnce(int status) {
  recovery_.Flush();
  // The merge's thread can neither be stopped half-way nor waited for in
  // time; the process ends under it.
  if (merge_) std::_Exit(status);
  QCoreApplication::exit(status);
}

// --- settings -----------------------------------------------------------------

QString SearchSession::KeywordFile() const {
  return platform::FromGbk(keywordFile_);
}

void SearchSession::SetKeywordFile(std::string gbk) {
  // Its bytes are kept as they came, so that the progress file gets back
  // exactly what it gave.
  if (gbk == keywordFile_) return;
  keywordFile_ = std::move(gbk);
  Q_EMIT KeywordFileChanged(KeywordFile());
}

void SearchSession::SetDeduplicate(bool on) {
  if (on == deduplicate_) return;
  deduplicate_ = on;
  Q_EMIT DeduplicateChanged(on);
}

void SearchSession::SetIntervalText(const QString& text) {
  if (text == intervalText_) return;
  intervalText_ = text;
  Q_EMIT IntervalTextChanged(text);
}

std::string SearchSession::IntervalText() const {
  return platform::ToGbk(intervalText_);
}

// --- the engine's reports -----------------------------------------------------

void SearchSession::ReportKeywordNumber(int number) {
  keywordNumber_ = number;
  if (RunLog* log = runFiles_.Log()) log->Keyword(number, KeywordText(number));
  Q_EMIT KeywordNumberChanged(number);
}

void SearchSession::ReportFoundCount(int count) {
  Q_EMIT FoundCountChanged(count);
}

void SearchSession::ReportState(harvest::RunState state) {
  if (state == harvest::RunState::kStarting) {
    runStarted_ = true;
    runFiles_.Start(static_cast<int>(run_->KeywordList().size()), run_->KeywordIndex());
    Q_EMIT RunFileChanged(RunFile());
  }
  EmitState();
}

void SearchSession::ReportFinished(const harvest::RunSummary& summary) {
  if (RunLog* log = runFiles_.Log()) log->Ended(summary);
  KeepRunFile();
  Q_EMIT RunEnded(summary, RunFile());
}

void SearchSession::Tell(harvest::RunMessage message) {
  Q_EMIT Told(message);
}

void SearchSession::AskResumePoint(int offered, ResumeAnswer answer) {
  if (!questions_) {
    answer(std::nullopt);
    return;
  }
  questions_->AskResumePoint(offered, [this,
                                       answer = std::move(answer)](std::optional<QString> text) {
    TellingFailure([&] { answer(text ? std::optional(platform::ToGbk(*text)) : std::nullopt); });
    if (!text) return;
    // The new run has emptied the list; the browser may have answered at once.
    resultModel_.ShowNewRows();
    KeepRunFile();
    KeepRecord();
  });
}

void SearchSession::ReportEvent(const harvest::RunEvent& event) {
  if (RunLog* log = runFiles_.Log()) log->Event(event, KeywordText(event.keywordNumber));
  Q_EMIT RunEventReported(event);
}

QString SearchSession::KeywordText(int number) const {
  const auto& keywords = run_->KeywordList();
  if (number < 1 || number > static_cast<int>(keywords.size())) return {};
  return platform::FromGbk(harvest::Trim(keywords[static_cast<std::size_t>(number - 1)]));
}

// --- the progress file --------------------------------------------------------

void SearchSession::WriteProgress() {
  harvest::ProgressRecord record;
  record.keywordFile = keywordFile_;
  record.keywordIndex = run_->KeywordIndex();
  record.deduplicate = deduplicate_;
  // Written as typed, even when the field has not brought it into range yet.
  record.intervalSeconds = harvest::ParseIntegerOr(IntervalText(), kMinInterval);
  harvest::WriteProgressFile(options_.appDir.Child(harvest::kProgressFileName), record);
}

void SearchSession::RestoreKeywordFile(const std::string& path) {
  SetKeywordFile(path);
}
void SearchSession::RestoreKeywordIndex(int index) {
  run_->SetKeywordIndex(index);
}
void SearchSession::RestoreDeduplicate(bool on) {
  SetDeduplicate(on);
}
void SearchSession::RestoreInterval(int seconds) {
  // The field takes a value into its range.
  SetIntervalText(QString::number(std::clamp(seconds, kMinInterval, kMaxInterval)));
}

// --- the recovery record ------------------------------------------------------

void SearchSession::OpenRecoveryRecord() {
  const auto recordFile = options_.appDir.Child(harvest::kRecoveryFileName);
  recordPath_ = platform::FromGbk(recordFile.text);
  switch (recovery_.Open(recordFile.native)) {
    case RecoveryKeeper::Opening::kHeld:
      break;
    case RecoveryKeeper::Opening::kShared:
      Q_EMIT RecordNotKept({RecordNotice::Kind::kShared, recordPath_});
      return;
    case RecoveryKeeper::Opening::kRefused:
      Q_EMIT RecordNotKept(
          {RecordNotice::Kind::kRefused, recordPath_, recovery_.Refusal()->reason});
      return;
    case RecoveryKeeper::Opening::kFailed:
      Q_EMIT FileFailed({FileFailure::File::kRecord, recordPath_,
                         platform::FromGbk(recovery_.OpenFailure().value_or(std::string()))});
      return;
  }
  const harvest::RecoveredRun found = recovery_.Read();
  if (found.parts > 0 && questions_) {
    switch (questions_->AskToRestore(found)) {
      case SessionQuestions::RestoreAnswer::kRestore:
        Restore(found);
        break;
      case SessionQuestions::RestoreAnswer::kDiscard:
        break;
      case SessionQuestions::RestoreAnswer::kLater:
        // Only "否" discards: the record stays as it is for the next start.
        recovery_.Release();
        Q_EMIT RecordNotKept({RecordNotice::Kind::kKeptForLater, recordPath_});
        return;
    }
  }
  // What the record holds from here on: the restored run, or nothing.
  recovery_.Restart(results_, CurrentPlace());
}

void SearchSession::Restore(const harvest::RecoveredRun& found) {
  for (const std::string& row : found.rows) results_.Append(row);
  run_->SetFoundCount(found.place.foundCount);
  Q_EMIT FoundCountChanged(found.place.foundCount);
  resultModel_.ShowNewRows();
  // As the progress file would have it had the run finished: the resume
  // prompt offers the keyword that was being searched.
  run_->SetKeywordIndex(found.place.resumePoint);
  SetKeywordFile(found.place.keywordFile);
  SetDeduplicate(found.place.deduplicate);
  // Its numbers are in its own file already; the record keeps naming it,
  // and the run that resumes it goes on in it.
  runFiles_.Restore(found.place.runFile, found.place.runFileLength);
  if (!found.place.runFile.empty()) Q_EMIT RunFileChanged(RunFile());
}

harvest::RunPlace SearchSession::CurrentPlace() const {
  return {run_->ResumePoint(), run_->FoundCount(),   keywordFile_,
          deduplicate_,        runFiles_.FileText(), runFiles_.Length()};
}

void SearchSession::KeepRecord() {
  recovery_.Keep(results_, CurrentPlace());
}

// --- the run's own files ------------------------------------------------------

void SearchSession::KeepRunFile() {
  runFiles_.Append(run_->TakeCounted());
}

void SearchSession::TellFileFailure(harvest::WriterThread::Channel channel, const QString& reason) {
  if (recovery_.Channel() == channel) {
    Q_EMIT FileFailed({FileFailure::File::kRecord, recordPath_, reason});
  } else if (const auto failure = runFiles_.FailureOf(channel, reason)) {
    Q_EMIT FileFailed(*failure);
  }
}

}  // namespace session
