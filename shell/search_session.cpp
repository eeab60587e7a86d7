#include "shell/search_session.h"

#include <QCoreApplication>
#include <QDateTime>
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
#include "shell/error_handler.h"

namespace shell {
namespace {

// The run's timer as the window has it before any run.
constexpr int kTimerIntervalAtCreation = 8000;
// Freed memory goes back to the system after this many pages.
constexpr int kPagesPerMemoryReturn = 10;

}  // namespace

SearchSession::SearchSession(SessionOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      intervalText_(QString::number(kDefaultInterval)) {
  browser_ = options_.browser ? std::move(options_.browser)
                              : std::make_unique<platform::WebEngineBrowser>(nullptr);
  if (!options_.addresses) options_.addresses = std::make_unique<platform::InterfaceAddresses>();
  if (!options_.returnFreedMemory) options_.returnFreedMemory = platform::ReturnFreedMemory;
  if (!options_.runsDir) options_.runsDir = platform::RunsDir(options_.appDir);
  timer_ = std::make_unique<platform::QtRunTimer>(kTimerIntervalAtCreation, [this] { OnTick(); });
  run_ = std::make_unique<harvest::SearchRun>(
      harvest::SearchPorts{*this, *this, *this, *timer_, *options_.addresses, *this}, results_,
      options_.queryPrefix);
  connect(&recovery_, &RecoveryKeeper::Failed, this, [this](const QString& failure) {
    if (prompts_) prompts_->TellRecordFailure(failure);
  });
}

SearchSession::~SearchSession() {
  // A merge still running (the program ended without its close question)
  // is waited for; its end is nobody's business any more.
  if (merge_) merge_->disconnect(this);
  merge_.reset();
}

// --- start --------------------------------------------------------------------

void SearchSession::RestoreAtStart() {
  Guarded([this] {
    harvest::RestoreProgressFile(options_.appDir.Child(harvest::kProgressFileName), *this);
  });
  Guarded([this] { OpenRecoveryRecord(); });
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
  SyncRunState();
  KeepRunFile();  // a browser may have answered at once
  KeepRecord();   // a new run empties the list
  Q_EMIT RowsAdded();
}

void SearchSession::StopSearch() {
  // During a hold the run ends at once, and a progress file that cannot be
  // written is told after it has.
  Guarded([this] { run_->Stop(); });
  SyncRunState();
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
  mergeState_ = MergeState::kRunning;
  Q_EMIT MergeStateChanged(mergeState_);
}

void SearchSession::MergeEnded() {
  const MergeTask::Outcome outcome = merge_->Result();
  // Deleted later: this runs inside the task's own signal.
  merge_.release()->deleteLater();
  mergeState_ = MergeState::kNone;
  Q_EMIT MergeStateChanged(mergeState_);
  if (outcome.count) Q_EMIT MergeCounted(*outcome.count);
  if (outcome.error) HandleException(outcome.error);
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
  Guarded([this] { run_->Tick(); });
  SyncRunState();
}

void SearchSession::Navigate(const std::string& url) {
  browser_->Navigate(url);
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
  // be written) end here.
  Guarded([&] { handler(std::move(page)); });
  AfterStep();
}

void SearchSession::AfterStep() {
  SyncRunState();
  Q_EMIT RowsAdded();
  // The numbers first: the record names the file that holds them.
  KeepRunFile();
  KeepRecord();
  if (++pageSteps_ % kPagesPerMemoryReturn == 0) options_.returnFreedMemory();
}

// --- what waits ---------------------------------------------------------------

bool SearchSession::Busy() const {
  return merge_ || run_->Phase() == harvest::RunPhase::kReadingPage;
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

void SearchSession::SyncRunState() {
  RunState now = RunState::kIdle;
  switch (run_->Phase()) {
    case harvest::RunPhase::kIdle:
      break;
    case harvest::RunPhase::kWaitingForPage:
      now = run_->StopRequested() ? RunState::kStopping : RunState::kWaiting;
      break;
    case harvest::RunPhase::kReadingPage:
      now = run_->StopRequested() ? RunState::kStopping : RunState::kReading;
      break;
    case harvest::RunPhase::kHolding:
      now = RunState::kHolding;
      break;
  }
  if (now == runState_) return;
  runState_ = now;
  Q_EMIT RunStateChanged(now);
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
  if (runLog_) runLog_->Keyword(number, KeywordText(number));
  Q_EMIT KeywordNumberChanged(number);
}

void SearchSession::ReportFoundCount(int count) {
  Q_EMIT FoundCountChanged(count);
}

void SearchSession::ReportStatus(harvest::RunStatus status) {
  if (status == harvest::RunStatus::kStarting) StartRunFile();
  if (status == harvest::RunStatus::kFinished && runLog_) {
    runLog_->Ended(run_->PagesRead(), run_->FoundCount(), run_->HeldMilliseconds(),
                   run_->PagesGivenUp());
    KeepRunFile();
  }
  Q_EMIT RunStatusChanged(status);
}

void SearchSession::ReportRunning(bool running) {
  running_ = running;
  Q_EMIT CommandsChanged();
}

void SearchSession::Tell(harvest::RunMessage message) {
  if (prompts_) prompts_->Tell(message);
}

std::optional<std::string> SearchSession::AskResumePoint(int offered) {
  if (!prompts_) return {};
  const std::optional<QString> answer = prompts_->AskResumePoint(offered);
  if (!answer) return {};
  return platform::ToGbk(*answer);
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
  switch (recovery_.Open(recordFile.native)) {
    case RecoveryKeeper::Opening::kHeld:
      break;
    case RecoveryKeeper::Opening::kShared:
      if (prompts_) prompts_->TellRecordShared();
      return;
    case RecoveryKeeper::Opening::kRefused:
      if (prompts_)
        prompts_->TellRecordRefused(platform::FromGbk(recordFile.text),
                                    recovery_.Refusal()->reason);
      return;
    case RecoveryKeeper::Opening::kFailed:
      return;  // told through Failed
  }
  const harvest::RecoveredRun found = recovery_.Read();
  if (found.parts > 0 && prompts_) {
    switch (prompts_->AskToRestore(found)) {
      case SessionPrompts::RestoreAnswer::kRestore:
        Restore(found);
        break;
      case SessionPrompts::RestoreAnswer::kDiscard:
        break;
      case SessionPrompts::RestoreAnswer::kLater:
        // Only "否" discards: the record stays as it is for the next start.
        recovery_.Release();
        prompts_->TellRecordKeptForLater();
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
  Q_EMIT RowsAdded();
  // As the progress file would have it had the run finished: the resume
  // prompt offers the keyword that was being searched.
  run_->SetKeywordIndex(found.place.resumePoint);
  SetKeywordFile(found.place.keywordFile);
  SetDeduplicate(found.place.deduplicate);
  // Its numbers are in its own file already; the record keeps naming it,
  // and the run that resumes it goes on in it.
  runFileText_ = found.place.runFile;
  restoredRunFileLength_ = found.place.runFileLength;
  continueRunFile_ = !runFileText_.empty();
  if (continueRunFile_) Q_EMIT RunFileChanged(RunFile());
}

harvest::RunPlace SearchSession::CurrentPlace() const {
  // The run file's length counts the bytes handed to the writer: they reach
  // the disk before the part that names it. A restored run's file keeps its
  // length until the run goes on in it.
  const std::uint64_t runFileLength = runFile_ ? runFile_->Length() : restoredRunFileLength_;
  return {run_->ResumePoint(), run_->FoundCount(), keywordFile_,
          deduplicate_,        runFileText_,       runFileLength};
}

void SearchSession::KeepRecord() {
  recovery_.Keep(results_, CurrentPlace());
}

// --- the run's own numbers file -----------------------------------------------

QString SearchSession::RunFile() const {
  return platform::FromGbk(runFileText_);
}

void SearchSession::StartRunFile() {
  OpenRunFile();
  runLog_ = std::make_unique<RunLog>(platform::ToFilePath(RunFile()).native,
                                     std::exchange(resumingRestored_, false), writer_);
  runLog_->Started(static_cast<int>(run_->KeywordList().size()), run_->KeywordIndex());
  KeepRunFile();  // a file that could not be made is told at once
}

void SearchSession::OpenRunFile() {
  if (std::exchange(continueRunFile_, false)) {
    // Only what the record counted: the run goes on from the record's place.
    runFile_ =
        std::make_unique<harvest::DurableAppender>(platform::ToFilePath(RunFile()).native, writer_,
                                                   harvest::EarlierFile{restoredRunFileLength_});
    resumingRestored_ = !runFile_->Path().empty();
    if (resumingRestored_) return;  // else gone, or no longer the user's own: a new one
  }
  // Named by the run's start in local time; a second run in the same
  // second gets a name of its own beside it.
  const QString name = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HHmmss")) +
                       QStringLiteral(".txt");
  const harvest::FilePath wanted = RunsDir().Child(name.toStdString());
  runFile_ = std::make_unique<harvest::DurableAppender>(wanted.native, writer_, harvest::NewFile{});
  runFileText_ = runFile_->Path().empty() ? wanted.text
                                          : RunsDir().text + runFile_->Path().filename().string();
  Q_EMIT RunFileChanged(RunFile());
}

void SearchSession::KeepRunFile() {
  const std::vector<std::string> counted = run_->TakeCounted();
  if (!runFile_) return;
  runFile_->AppendLines(counted);
  if (const auto failure = runFile_->TakeFailure(); failure && prompts_) {
    prompts_->TellRunFileFailure(RunFile(), platform::FromGbk(*failure));
  }
  if (const auto failure = runLog_->TakeFailure(); failure && prompts_) {
    prompts_->TellRunFileFailure(QString::fromStdString(runLog_->Path().string()),
                                 platform::FromGbk(*failure));
  }
}

QString SearchSession::KeywordText(int number) const {
  const auto& keywords = run_->KeywordList();
  if (number < 1 || number > static_cast<int>(keywords.size())) return {};
  return platform::FromGbk(harvest::Trim(keywords[static_cast<std::size_t>(number - 1)]));
}

void SearchSession::ReportEvent(const harvest::RunEvent& event) {
  if (runLog_) runLog_->Event(event, KeywordText(event.keywordNumber));
  Q_EMIT RunEventReported(event);
}

}  // namespace shell
