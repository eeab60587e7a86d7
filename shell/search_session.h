#pragma once
// The search session: the one object that runs the search and what goes with
// it, for the window to show. It owns the engine's run and its timer, the
// page reads, the result list, the recovery record, the merge and what waits
// for it, the progress file and the run's settings. It reports every change
// with a signal and shows nothing itself; it asks the user only through
// SessionPrompts. Its state is two fields and one queue:
//
//   run    Idle --Start--> Waiting --tick--> Reading --text--> Waiting ... --> Idle
//          Stop in Waiting or Reading: Stopping, until the page's text ends it
//   merge  None --MergeDataFiles--> Running --its end--> None
//   queue  what waits: the run's tick and page texts that come during a
//          merge, taken in order once it has ended (as if the merge held the
//          thread); then a close that came while a page was read or a merge
//          ran, once neither is busy.
//
// Every event it takes (the tick, a page's text, the merge's end) goes
// through the application's error handler; the commands raise to the caller.

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harvest/durable_appender.h"
#include "harvest/file_path.h"
#include "harvest/progress_file.h"
#include "harvest/query_url.h"
#include "harvest/result_list.h"
#include "harvest/search_run.h"
#include "harvest/writer_thread.h"
#include "platform/embedded_browser.h"
#include "platform/qt_run_timer.h"
#include "shell/merge_task.h"
#include "shell/recovery_keeper.h"
#include "shell/run_log.h"
#include "shell/session_prompts.h"

namespace shell {

struct SessionOptions {
  // Where the progress file and the recovery record live.
  harvest::FilePath appDir;
  // The embedded browser; by default Qt WebEngine. Its widget is the
  // window's to place.
  std::unique_ptr<platform::EmbeddedBrowser> browser;
  // The host's addresses; by default the network interfaces that are up.
  std::unique_ptr<harvest::AddressLookup> addresses;
  // The result-page address up to the keyword; tests point it at a local server.
  std::string queryPrefix{harvest::kQueryPrefix};
  // Gives freed memory back to the system, every few pages of a run; by
  // default the C library's trim.
  std::function<void()> returnFreedMemory;
  // Where each run's own numbers file goes; by default beside the progress
  // file in the program's folder, or in the user's data folder.
  std::optional<harvest::FilePath> runsDir;
};

class SearchSession final : public QObject,
                            private harvest::RunReports,
                            private harvest::RunSettings,
                            private harvest::PageBrowser,
                            private harvest::ProgressWriter,
                            private harvest::ProgressTarget {
  Q_OBJECT
  Q_PROPERTY(RunState runState READ GetRunState NOTIFY RunStateChanged)
  Q_PROPERTY(MergeState mergeState READ GetMergeState NOTIFY MergeStateChanged)
  Q_PROPERTY(bool canStart READ CanStart NOTIFY CommandsChanged)
  Q_PROPERTY(bool canStop READ CanStop NOTIFY CommandsChanged)
  Q_PROPERTY(int keywordCount READ KeywordCount NOTIFY KeywordCountChanged)
  Q_PROPERTY(int keywordNumber READ KeywordNumber NOTIFY KeywordNumberChanged)
  Q_PROPERTY(int foundCount READ FoundCount NOTIFY FoundCountChanged)
  Q_PROPERTY(QString keywordFile READ KeywordFile NOTIFY KeywordFileChanged)
  Q_PROPERTY(bool deduplicate READ Deduplicate WRITE SetDeduplicate NOTIFY DeduplicateChanged)
  Q_PROPERTY(
      QString intervalText READ IntervalTextShown WRITE SetIntervalText NOTIFY IntervalTextChanged)

 public:
  enum class RunState { kIdle, kWaiting, kReading, kStopping, kHolding };
  Q_ENUM(RunState)
  enum class MergeState { kNone, kRunning };
  Q_ENUM(MergeState)

  // A count not reported yet (the window shows nothing for it).
  static constexpr int kNone = -1;
  // The page interval's range in seconds, and its value at first.
  static constexpr int kMinInterval = 1;
  static constexpr int kMaxInterval = 1000;
  static constexpr int kDefaultInterval = 8;

  explicit SearchSession(SessionOptions options, QObject* parent = nullptr);
  ~SearchSession() override;

  // How the session asks the user; the window sets it before anything runs.
  void SetPrompts(SessionPrompts* prompts) { prompts_ = prompts; }
  QWidget* BrowserWidget() { return browser_->Widget(); }
  // Where the progress file lives and the keyword import starts.
  const harvest::FilePath& AppDir() const { return options_.appDir; }
  // Where the runs' own numbers files go.
  const harvest::FilePath& RunsDir() const { return *options_.runsDir; }
  // The file of the run that started last (or was restored), as the user
  // reads it; empty before any.
  QString RunFile() const;
  // The running run's numbers file; null before any run.
  const harvest::DurableAppender* RunFileWriter() const { return runFile_.get(); }

  // Program start: the progress file read back (its errors shown, the lines
  // before a bad one kept), then the recovery record opened and its numbers
  // offered back.
  void RestoreAtStart();

  // The commands. They raise to the caller, which shows the error.
  void ImportKeywords(const harvest::FilePath& file);
  void StartSearch();
  void StopSearch();
  void SaveResults(const harvest::FilePath& file) const;
  void SaveProgress();
  void MergeDataFiles(const std::vector<harvest::FilePath>& inputs,
                      const harvest::FilePath& output);

  // The run's timer's event: the run's next step, or, during a merge, kept
  // for its end. Public for the tests and the benchmark, which tick at will.
  void OnTick();

  // Whether a close must wait: a page is being read or a merge runs.
  bool Busy() const;
  // A close that came while busy: CloseDue comes once nothing is.
  void CloseWhenIdle();
  // An ordinary end, the close question answered: nothing to offer back.
  void EndNormally();
  // Ends the program at once with `status` (a logout, a shutdown, Ctrl+C):
  // the recovery record stays as of the last step. A merge still running is
  // abandoned: its output stays as it was, its unnamed temporary file goes
  // with the process.
  void EndAtOnce(int status);

  RunState GetRunState() const { return runState_; }
  MergeState GetMergeState() const { return mergeState_; }
  // The run's commands: Search and Import, and Stop (both at program start).
  bool CanStart() const { return !running_.value_or(false); }
  bool CanStop() const { return running_.value_or(true); }
  int KeywordCount() const { return keywordCount_; }
  int KeywordNumber() const { return keywordNumber_; }
  int FoundCount() const { return run_->FoundCount(); }
  // The keyword file's path as the user reads it.
  QString KeywordFile() const;
  bool Deduplicate() const override { return deduplicate_; }
  void SetDeduplicate(bool on);
  QString IntervalTextShown() const { return intervalText_; }
  // The interval's text as the user types it, valid or not yet.
  void SetIntervalText(const QString& text);

  harvest::SearchRun& Run() { return *run_; }
  const harvest::ResultList& Results() const { return results_; }
  harvest::ResultList& Results() { return results_; }
  const platform::QtRunTimer& SearchTimer() const { return *timer_; }
  RecoveryKeeper& Recovery() { return recovery_; }

 Q_SIGNALS:
  void RunStateChanged(shell::SearchSession::RunState state);
  void MergeStateChanged(shell::SearchSession::MergeState state);
  void CommandsChanged();
  void KeywordCountChanged(int count);
  void KeywordNumberChanged(int number);
  void FoundCountChanged(int count);
  void KeywordFileChanged(const QString& path);
  void DeduplicateChanged(bool on);
  void IntervalTextChanged(const QString& text);
  void RunStatusChanged(harvest::RunStatus status);
  // A page did not come (the run holds), came after a hold, hung or died.
  void RunEventReported(const harvest::RunEvent& event);
  // Rows came into the result list since the last step.
  void RowsAdded();
  void MergeProgressed(const tools::MergeProgress& progress);
  // The merge has written `lines` distinct lines (also when an error
  // followed, after the reading met it).
  void MergeCounted(qint64 lines);
  // A close that waited may go ahead now.
  void CloseDue();
  // A run started, or one was restored: every number it counts goes into
  // the file at `path`.
  void RunFileChanged(const QString& path);

 private:
  // What waits, in order: run events until the merge's end, a close last.
  struct Waiting {
    enum class Kind { kTick, kPageText, kClose } kind;
    std::function<void()> take;
  };

  void TakePageText(const PageTextHandler& handler, harvest::PageText page);
  // A page's step of the run, and what follows every step.
  void ProcessPageText(const PageTextHandler& handler, harvest::PageText page);
  void AfterStep();
  void MergeEnded();
  void Enqueue(Waiting::Kind kind, std::function<void()> take);
  void TakeWhatWaited();
  void SyncRunState();
  void SetKeywordFile(std::string gbk);

  void OpenRecoveryRecord();
  void Restore(const harvest::RecoveredRun& found);
  harvest::RunPlace CurrentPlace() const;
  void KeepRecord();
  // The run's own numbers file: made when a run starts, given what each
  // step counted, its failure told once.
  void StartRunFile();
  void OpenRunFile();
  void KeepRunFile();
  // The keyword of 1-based `number`, as the user reads it.
  QString KeywordText(int number) const;

  // harvest::RunReports
  void ReportKeywordNumber(int number) override;
  void ReportFoundCount(int count) override;
  void ReportStatus(harvest::RunStatus status) override;
  void ReportRunning(bool running) override;
  void Tell(harvest::RunMessage message) override;
  void ReportEvent(const harvest::RunEvent& event) override;
  std::optional<std::string> AskResumePoint(int offered) override;
  // harvest::RunSettings
  std::string IntervalText() const override;
  // harvest::PageBrowser: the embedded browser, its answers held during a merge.
  void Navigate(const std::string& url) override;
  void RequestPageText(PageTextHandler handler) override;
  // harvest::ProgressWriter
  void WriteProgress() override;
  // harvest::ProgressTarget
  void RestoreKeywordFile(const std::string& path) override;
  void RestoreKeywordIndex(int index) override;
  void RestoreDeduplicate(bool on) override;
  void RestoreInterval(int seconds) override;

  SessionOptions options_;
  SessionPrompts* prompts_ = nullptr;
  std::unique_ptr<platform::EmbeddedBrowser> browser_;
  harvest::ResultList results_;
  std::unique_ptr<platform::QtRunTimer> timer_;
  std::unique_ptr<harvest::SearchRun> run_;
  // Writes the run's files and the record's parts, in the order of the steps.
  harvest::WriterThread writer_;
  RecoveryKeeper recovery_{writer_};
  std::unique_ptr<harvest::DurableAppender> runFile_;  // the running run's
  std::string runFileText_;                            // GBK, as the record keeps it
  bool continueRunFile_ = false;                       // restored: the next run goes on in it
  std::uint64_t restoredRunFileLength_ = 0;            // what the record counted in it
  bool resumingRestored_ = false;                      // the run going on in a restored run's file
  std::unique_ptr<RunLog> runLog_;                     // beside the run file
  std::unique_ptr<MergeTask> merge_;

  RunState runState_ = RunState::kIdle;
  MergeState mergeState_ = MergeState::kNone;
  std::deque<Waiting> waiting_;

  std::optional<bool> running_;  // none before the first run's report
  int keywordCount_ = kNone;
  int keywordNumber_ = kNone;
  int pageSteps_ = 0;        // pages processed, for returning freed memory
  std::string keywordFile_;  // GBK, as the progress file stores it
  bool deduplicate_ = false;
  QString intervalText_;
};

}  // namespace shell
