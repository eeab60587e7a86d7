#include "session/search_session.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>

#include "harvest/crc32.h"
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

std::filesystem::path RunsDirOf(const SessionOptions& options) {
  return (options.runsDir ? *options.runsDir : platform::RunsDir(options.appDir)).native;
}

// A keyword file as it is now: its size and CRC, none when it cannot be read.
std::optional<std::pair<std::uint64_t, std::uint32_t>> FileMark(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return std::pair(static_cast<std::uint64_t>(bytes.size()), harvest::Crc32(bytes));
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
      harvest::SearchPorts{*this, *this, *this, *timer_, *options_.addresses, *this, *this},
      results_, options_.queryPrefix);
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
  const auto mark = FileMark(file.native);
  keywordPath_ = file.native;
  keywordSize_ = mark ? mark->first : 0;
  keywordCrc_ = mark ? mark->second : 0;
  results_.Clear();
  // A new list: a restored run no longer waits to go on.
  if (std::exchange(restored_, std::nullopt)) Q_EMIT ContinueOffered(false);
  KeepRecord();
}

void SearchSession::StartSearch() {
  // A restored run goes on; when it cannot, the user is told to import.
  if (restored_) {
    ContinueRestored();
    return;
  }
  run_->Start();
}

bool SearchSession::ContinueRestored() {
  const harvest::ExactPlace place = *std::exchange(restored_, std::nullopt);
  Q_EMIT ContinueOffered(false);
  // The keyword list read again, as the run read it.
  const auto mark = FileMark(place.keywordFile);
  if (!mark || mark->first != place.keywordFileSize || mark->second != place.keywordFileCrc) {
    Q_EMIT ContinueRefused(platform::ShownPath(place.keywordFile));
    return false;
  }
  const harvest::FilePath file{place.keywordFile, keywordFile_};
  run_->KeywordList() = harvest::LoadLines(file);
  keywordCount_ = harvest::CountTextFileLines(file);
  Q_EMIT KeywordCountChanged(keywordCount_);
  keywordPath_ = place.keywordFile;
  keywordSize_ = place.keywordFileSize;
  keywordCrc_ = place.keywordFileCrc;
  SetIntervalText(QString::number(std::clamp(place.intervalSeconds, kMinInterval, kMaxInterval)));
  continuing_ = true;
  const bool resumed = run_->ResumeAt({place.keywordNumber, place.pageOffset, run_->FoundCount()});
  continuing_ = false;
  if (!resumed) {
    Q_EMIT ContinueRefused(platform::ShownPath(place.keywordFile));
    return false;
  }
  resultModel_.ShowNewRows();
  KeepRunFile();
  KeepRecord();
  return true;
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
  // Numbers its file could not take are tried once more as the program
  // ends; those still unwritten then stay in the record, written afresh
  // after the try, for the next start. Else nothing is left to offer.
  if (runFiles_.NumbersFailed()) {
    runFiles_.TryAgain();
    recovery_.Restart(results_, CurrentPlace(), runFiles_.NumbersChannel());
  }
  recovery_.Remove(runFiles_.NumbersChannel());
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
    const QString before = RunFile();
    const RunFiles::Opened opened = runFiles_.Start(
        continuing_, static_cast<int>(run_->KeywordList().size()), run_->KeywordIndex());
    // The page about to be asked for is the one the run was reading.
    if (continuing_ && runFiles_.Log())
      runFiles_.Log()->WentOn(run_->KeywordIndex(), run_->PageOffset(), run_->FoundCount());
    if (opened == RunFiles::Opened::kRestoredReplaced) Q_EMIT RunFileReplaced(before, RunFile());
    Q_EMIT RunFileChanged(RunFile());
  }
  EmitState();
}

void SearchSession::ReportFinished(const harvest::RunSummary& summary) {
  if (RunLog* log = runFiles_.Log()) log->Ended(summary);
  KeepRunFile();
  // The record no longer holds a run to go on with (a Stop ends a run
  // outside any step).
  KeepRecord();
  EndRunOnceWritten(summary);
}

void SearchSession::EndRunOnceWritten(const harvest::RunSummary& summary) {
  // The run is called ended once its last numbers are on disk, or told
  // where they are when they cannot be.
  writer_.WhenWritten([this, summary] {
    QMetaObject::invokeMethod(
        this,
        [this, summary] {
          if (const auto held = std::exchange(logFailureHeldBack_, std::nullopt);
              held && runFiles_.LogFailed())
            TellLogFailure(*held);
          if (const int unwritten = runFiles_.Unwritten(); unwritten > 0) {
            // The record keeps them, with the ended run's place.
            KeepRecord();
            Q_EMIT NumbersUnwritten(unwritten, recovery_.Held() && !recovery_.Failed());
          }
          Q_EMIT RunEnded(summary, RunFile());
        },
        Qt::QueuedConnection);
  });
}

void SearchSession::TryWritingAgain() {
  runFiles_.TryAgain();
  if (recovery_.Failed()) recovery_.Restart(results_, CurrentPlace(), runFiles_.NumbersChannel());
  writer_.WhenWritten([this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          // A try that failed again renewed the hold when it was told.
          if (!runFiles_.NumbersFailed()) run_->FilesWritable();
        },
        Qt::QueuedConnection);
  });
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
  const RecoveryKeeper::Opening opening = recovery_.Open(recordFile.native);
  if (const auto& damaged = recovery_.MovedAside()) {
    // Its new name is the record's and an ASCII suffix: shown as the
    // record's path is.
    const std::string suffix = damaged->movedTo.filename().string().substr(
        std::string_view(harvest::kRecoveryFileName).size());
    Q_EMIT RecordNotKept({RecordNotice::Kind::kMovedAside, recordPath_, damaged->reason,
                          recordPath_ + QString::fromLatin1(suffix)});
  }
  switch (opening) {
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
  recovery_.Restart(results_, CurrentPlace(), runFiles_.NumbersChannel());
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
  if (!found.place.exact) return;  // an older record: the next run has a new file
  const harvest::ExactPlace& exact = *found.place.exact;
  runFiles_.Restore(exact.runFile, exact.runFileOnDisk, exact.unwritten);
  Q_EMIT RunFileChanged(RunFile());
  if (exact.pageOffset == harvest::ExactPlace::kEnded) {
    // A run that had ended with numbers its file could not take: they go
    // into it now.
    const QString before = RunFile();
    if (runFiles_.WriteRestoredNumbers() == RunFiles::Opened::kRestoredReplaced)
      Q_EMIT RunFileReplaced(before, RunFile());
    // The record keeps them until they are on disk.
    restoredEnded_ = exact;
    writer_.WhenWritten([this] {
      QMetaObject::invokeMethod(
          this,
          [this] {
            if (runFiles_.NumbersFailed()) return;
            restoredEnded_.reset();
            KeepRecord();
          },
          Qt::QueuedConnection);
    });
    return;
  }
  keywordPath_ = exact.keywordFile;
  restored_ = exact;
  Q_EMIT ContinueOffered(true);
}

harvest::RunPlace SearchSession::CurrentPlace() const {
  harvest::RunPlace place;
  place.resumePoint = run_->ResumePoint();
  place.foundCount = run_->FoundCount();
  place.keywordFile = keywordFile_;
  place.deduplicate = deduplicate_;
  const bool running = runStarted_ && GetState() != harvest::RunState::kIdle;
  // While a run is under way, or its numbers wait to be written: where
  // exactly, for a run restored after a crash to go on there.
  if (running || (runStarted_ && runFiles_.NumbersFailed())) {
    place.exact = harvest::ExactPlace{run_->KeywordIndex(),
                                      running ? run_->PageAskedFor() : harvest::ExactPlace::kEnded,
                                      harvest::ParseIntegerOr(IntervalText(), kDefaultInterval),
                                      keywordPath_,
                                      keywordSize_,
                                      keywordCrc_,
                                      runFiles_.File(),
                                      {runFiles_.NumbersIdentity(), 0, 0},
                                      {}};
  } else if (restored_) {
    place.exact = restored_;  // still waiting to go on
  } else if (restoredEnded_) {
    place.exact = restoredEnded_;  // its numbers not written yet
    place.exact->runFile = runFiles_.File();
    place.exact->runFileOnDisk.identity = runFiles_.NumbersIdentity();
  }
  return place;
}

void SearchSession::KeepRecord() {
  recovery_.Keep(results_, CurrentPlace(), runFiles_.NumbersChannel());
}

// --- the run's own files ------------------------------------------------------

void SearchSession::KeepRunFile() {
  runFiles_.Append(run_->TakeCounted());
}

void SearchSession::TellFileFailure(harvest::WriterThread::Channel channel, const QString& reason) {
  if (recovery_.Channel() == channel) {
    // Told once: a try to write it again that fails too is not news.
    if (!std::exchange(recordFailureTold_, true))
      Q_EMIT FileFailed({FileFailure::File::kRecord, recordPath_, reason});
    return;
  }
  const auto failure = runFiles_.FailureOf(channel, reason);
  if (!failure) return;
  if (failure->file == FileFailure::File::kRunFile) {
    // The run holds until its numbers can be written; the hold says why.
    if (channel == runFiles_.NumbersChannel()) run_->HoldForFiles();
    return;
  }
  // While the numbers cannot be written either, the hold says it all; the
  // run's end tells the log's failure if it still stands.
  if (runFiles_.NumbersFailed()) {
    logFailureHeldBack_ = failure;
    return;
  }
  TellLogFailure(*failure);
}

void SearchSession::TellLogFailure(const FileFailure& failure) {
  if (!std::exchange(logFailureTold_, true)) Q_EMIT FileFailed(failure);
}

}  // namespace session
