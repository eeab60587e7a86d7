#pragma once
// The search session: the one object that runs the search and what goes with
// it, for a window to show. It owns the engine's run and its timer, the page
// reads, the result list and its model, the recovery record, the run's files,
// the merge and what waits for it, the progress file and the run's settings.
// It shows nothing and names no widget: it speaks in signals (every change,
// every failure, a run's end with its figures), and asks the user only the
// two questions of SessionQuestions. Its state is the run's (RunState), and
// whether a merge runs; one signal tells both when either changes:
//
//   Idle --Search, answered--> Starting --tick--> WaitingForPage
//   WaitingForPage --text--> Searching --tick--> WaitingForPage ... --> Idle
//   WaitingForPage --the page did not come--> Holding --tick--> Searching
//   Starting, Searching, WaitingForPage --Stop--> Stopping --text--> Idle
//   Holding, or WaitingForPage for a page still loading --Stop--> Idle
//
// What waits, in order: the run's tick, page texts and load ends that come
// during a merge, taken once it has ended (as if the merge held the thread);
// then a close that came while a page was read or a merge ran, once neither
// is. A page whose load is waited for is not being read: a close is asked
// at once.
//
// The commands raise to their caller; an event's error (the tick, a page's
// text, the merge's end, the resume question's answer, the progress file at
// start) is told by Failed.

#include <QObject>
#include <QString>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harvest/file_path.h"
#include "harvest/progress_file.h"
#include "harvest/query_url.h"
#include "harvest/result_list.h"
#include "harvest/search_run.h"
#include "harvest/writer_thread.h"
#include "platform/embedded_browser.h"
#include "platform/qt_run_timer.h"
#include "session/merge_task.h"
#include "session/recovery_keeper.h"
#include "session/result_list_model.h"
#include "session/run_files.h"
#include "session/session_questions.h"

class QWebEnginePage;

namespace session {

struct SessionOptions {
  // Where the progress file and the recovery record live.
  harvest::FilePath appDir;
  // The embedded browser; by default Qt WebEngine.
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
                            private harvest::ProgressTarget,
                            private harvest::RunFilesKeeper {
  Q_OBJECT

 public:
  using State = harvest::RunState;

  // A count not reported yet (a view shows nothing for it).
  static constexpr int kNone = -1;
  // The page interval's range in seconds, and its value at first.
  static constexpr int kMinInterval = 1;
  static constexpr int kMaxInterval = 1000;
  static constexpr int kDefaultInterval = 8;

  explicit SearchSession(SessionOptions options, QObject* parent = nullptr);
  ~SearchSession() override;

  // Who answers the session's questions; unanswered without one (no
  // restore, the resume question cancelled).
  void SetQuestions(SessionQuestions* questions) { questions_ = questions; }
  // The page the run loads, for a view; none with a stand-in browser.
  QWebEnginePage* BrowserPage() const { return browser_->Page(); }
  // The numbers found, one row each, for a view.
  ResultListModel* ResultModel() { return &resultModel_; }
  const harvest::ResultList& Results() const { return results_; }
  // Where the progress file lives and the keyword import starts.
  const harvest::FilePath& AppDir() const { return options_.appDir; }
  // Where the runs' own numbers files go.
  const std::filesystem::path& RunsDir() const { return runFiles_.RunsDir(); }
  // The file of the run that started last (or was restored), as the user
  // reads it; empty before any.
  QString RunFile() const { return runFiles_.FileShown(); }

  // Program start: the progress file read back (the lines before a bad one
  // kept, its error told), then the recovery record opened and its numbers
  // offered back.
  void RestoreAtStart();

  // The commands. They raise to the caller, which shows the error.
  void ImportKeywords(const harvest::FilePath& file);
  // Asks for the resume point; the run starts once it is answered. A run
  // restored after a crash goes on at its page instead, asking nothing
  // (ContinueOffered says when Search does that).
  void StartSearch();
  void StopSearch();
  void SaveResults(const harvest::FilePath& file) const;
  void SaveProgress();
  void MergeDataFiles(const std::vector<harvest::FilePath>& inputs,
                      const harvest::FilePath& output);

  // The run's timer's event: the run's next step, or, during a merge, kept
  // for its end. Public for the tests and the benchmark, which tick at will.
  void OnTick();

  // Whether a close must wait: a page is being read or a merge runs (a page
  // whose load is waited for is not read yet: nothing to wait for).
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

  State GetState() const { return run_->State(); }
  bool Merging() const { return merge_ != nullptr; }
  // Whether a run has started since the program did.
  bool RunStarted() const { return runStarted_; }
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
  // How long the run's timer waits now, in milliseconds, and whether it runs.
  int TimerInterval() const { return timer_->Interval(); }
  bool TimerRunning() const { return timer_->Enabled(); }

 Q_SIGNALS:
  // The run's state or the merge's changed.
  void StateChanged(harvest::RunState state, bool merging);
  void KeywordCountChanged(int count);
  void KeywordNumberChanged(int number);
  void FoundCountChanged(int count);
  void KeywordFileChanged(const QString& path);
  void DeduplicateChanged(bool on);
  void IntervalTextChanged(const QString& text);
  // A page did not come (the run holds), came after a hold, hung or died.
  void RunEventReported(const harvest::RunEvent& event);
  // A run has ended: its figures, and the file that holds its numbers.
  void RunEnded(const harvest::RunSummary& summary, const QString& runFile);
  // A run started, or one was restored: every number it counts goes into
  // the file at `path`.
  void RunFileChanged(const QString& path);
  // Whether Search goes on with a run restored after a crash, at its page.
  void ContinueOffered(bool offered);
  // The restored run cannot go on: its keyword file is gone or changed.
  void ContinueRefused(const QString& keywordFile);
  // The restored run's numbers file was changed or replaced since: it is
  // left as it is, and the run goes on in `newFile`.
  void RunFileReplaced(const QString& oldFile, const QString& newFile);
  // A run ended with `count` counted numbers its file could not take: kept
  // in the recovery record (`inRecord`), or nowhere but this program.
  void NumbersUnwritten(int count, bool inRecord);
  // Something the run tells the user on its way (no address, a resume
  // point past the list).
  void Told(harvest::RunMessage message);
  // An event's error, for the application's error handler.
  void Failed(std::exception_ptr error);
  // A file the session keeps failed: told once, when it happens.
  void FileFailed(const session::FileFailure& failure);
  // No recovery record is kept this time, or the file at its name was moved
  // aside for a new one.
  void RecordNotKept(const session::RecordNotice& notice);
  void MergeProgressed(const tools::MergeProgress& progress);
  // The merge has written `lines` distinct lines (also when an error
  // followed, after the reading met it).
  void MergeCounted(qint64 lines);
  // A close that waited may go ahead now.
  void CloseDue();

 private:
  // The tests' way into the run they drive (tests/session/session_probe.h).
  friend struct SessionProbe;

  // What waits, in order: run events until the merge's end, a close last.
  struct Waiting {
    enum class Kind { kTick, kPageText, kClose } kind;  // kPageText: a load's end too
    std::function<void()> take;
  };

  // Runs an event's work; its error is told by Failed.
  void TellingFailure(const std::function<void()>& work);
  void TakePageText(const PageTextHandler& handler, harvest::PageText page);
  // A page's step of the run, and what follows every step.
  void ProcessPageText(const PageTextHandler& handler, harvest::PageText page);
  void AfterStep();
  void MergeEnded();
  void Enqueue(Waiting::Kind kind, std::function<void()> take);
  void TakeWhatWaited();
  void EmitState();
  void SetKeywordFile(std::string gbk);
  // A file failed on the writer's thread: told here, on the session's.
  void TellFileFailure(harvest::WriterThread::Channel channel, const QString& reason);
  void TellLogFailure(const FileFailure& failure);

  void OpenRecoveryRecord();
  void Restore(const harvest::RecoveredRun& found);
  harvest::RunPlace CurrentPlace() const;
  void KeepRecord();
  void KeepRunFile();
  // Goes on with the restored run at its page; false when it cannot.
  bool ContinueRestored();
  // The run's end told once its last step's numbers are written or failed.
  void EndRunOnceWritten(const harvest::RunSummary& summary);
  // The keyword of 1-based `number`, as the user reads it.
  QString KeywordText(int number) const;

  // harvest::RunReports
  void ReportKeywordNumber(int number) override;
  void ReportFoundCount(int count) override;
  void ReportState(harvest::RunState state) override;
  void ReportFinished(const harvest::RunSummary& summary) override;
  void Tell(harvest::RunMessage message) override;
  void ReportEvent(const harvest::RunEvent& event) override;
  void AskResumePoint(int offered, ResumeAnswer answer) override;
  // harvest::RunSettings
  std::string IntervalText() const override;
  // harvest::PageBrowser: the embedded browser, its answers held during a merge.
  void Navigate(const std::string& url) override;
  bool LoadEnded() const override;
  void WhenLoadEnds(LoadEndHandler handler) override;
  void RequestPageText(PageTextHandler handler) override;
  // harvest::ProgressWriter
  void WriteProgress() override;
  // harvest::RunFilesKeeper
  void TryWritingAgain() override;
  // harvest::ProgressTarget
  void RestoreKeywordFile(const std::string& path) override;
  void RestoreKeywordIndex(int index) override;
  void RestoreDeduplicate(bool on) override;
  void RestoreInterval(int seconds) override;

  SessionOptions options_;
  SessionQuestions* questions_ = nullptr;
  std::unique_ptr<platform::EmbeddedBrowser> browser_;
  harvest::ResultList results_;
  ResultListModel resultModel_{results_};
  std::unique_ptr<platform::QtRunTimer> timer_;
  std::unique_ptr<harvest::SearchRun> run_;
  // Writes the run's files and the record's parts, in the order of the
  // steps; tells a file's failure the moment it meets it.
  harvest::WriterThread writer_;
  RecoveryKeeper recovery_{writer_};
  QString recordPath_;  // the record's, as the user reads it
  RunFiles runFiles_;
  std::unique_ptr<MergeTask> merge_;
  std::deque<Waiting> waiting_;

  bool runStarted_ = false;
  int keywordCount_ = kNone;
  int keywordNumber_ = kNone;
  int pageSteps_ = 0;        // pages processed, for returning freed memory
  std::string keywordFile_;  // GBK, as the progress file stores it
  // The keyword list's file as imported: its bytes on disk, size and CRC,
  // for a restored run to read it again as it was.
  std::filesystem::path keywordPath_;
  std::uint64_t keywordSize_ = 0;
  std::uint32_t keywordCrc_ = 0;
  // A run restored after a crash, waiting for Search to go on with it.
  std::optional<harvest::ExactPlace> restored_;
  bool continuing_ = false;  // the run starting now goes on with it
  // A restored run that had ended, whose unwritten numbers are being written.
  std::optional<harvest::ExactPlace> restoredEnded_;
  bool recordFailureTold_ = false;
  bool logFailureTold_ = false;
  // The log's failure met while the numbers held the run, told when the
  // run ends if the log is still failing then.
  std::optional<FileFailure> logFailureHeldBack_;
  bool deduplicate_ = false;
  QString intervalText_;
};

}  // namespace session
