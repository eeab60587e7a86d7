#pragma once
// The files of a run in the runs folder: its numbers file, which gets every
// number the run counts in order (one a line, CR LF), and its log beside it.
// Each run gets new ones named by its start in local time; a run restored
// after a crash goes on in its own numbers file, cut back to what its record
// counted, when that file is still the one the record named, as counted
// (otherwise in a new one, said once). Paths are the file system's bytes.
//
// A numbers file that cannot be written keeps what it is handed (the
// writer keeps it, in order); TryAgain writes it once there is room, with
// no half line left between. Every file made is remembered by its writer
// channel, so that a failure the writer meets later is told with its path.

#include <QString>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harvest/durable_appender.h"
#include "session/run_log.h"
#include "session/session_questions.h"

namespace session {

class RunFiles {
 public:
  RunFiles(std::filesystem::path runsDir, harvest::WriterThread& writer);

  const std::filesystem::path& RunsDir() const { return runsDir_; }

  // A run restored after a crash: the run that goes on at its place goes on
  // in `file` as `counted`, the numbers it had not written (`unwritten`,
  // CR LF lines) first.
  void Restore(std::filesystem::path file, harvest::CountedFile counted, std::string unwritten);
  // A run starts: new files, or, when `goOn` and a restored run waits, that
  // run's files. What happened: new files, the restored run's, or new files
  // because the restored run's numbers file was changed or replaced.
  enum class Opened { kNew, kGoneOn, kRestoredReplaced };
  Opened Start(bool goOn, int keywords, int firstKeyword);
  // A restored run that had ended with numbers its file could not take:
  // they go into its file now (or a new one, if it was changed or replaced).
  Opened WriteRestoredNumbers();

  // A step's counted numbers, handed to the writer.
  void Append(const std::vector<std::string>& counted);
  // The run's log; null before any run.
  RunLog* Log() { return log_.get(); }

  // The numbers file of the run that started last, or was restored; empty
  // before any.
  const std::filesystem::path& File() const { return file_; }
  QString FileShown() const;
  // Which numbers file it is, for the record: none before any run.
  std::optional<harvest::WriterThread::Channel> NumbersChannel() const;
  harvest::FileIdentity NumbersIdentity() const;
  // The running run's numbers file; null before any run (for the benchmarks).
  const harvest::DurableAppender* Numbers() const { return numbers_.get(); }

  // Whether the numbers file has failed, and how many counted numbers wait
  // to be written.
  bool NumbersFailed() const;
  bool LogFailed() const;
  int Unwritten() const;
  // Writes what waits again: the numbers file cut back to what is on disk,
  // or made anew when it could not be made; the log likewise.
  void TryAgain();

  // The file whose writer channel `channel` is, failed with `reason`; none
  // for a channel that is not a run's.
  std::optional<FileFailure> FailureOf(harvest::WriterThread::Channel channel,
                                       const QString& reason) const;

 private:
  // The restored run's numbers file as counted, or a new one; its numbers
  // not written before first.
  Opened OpenRestored();
  // A new numbers file named by the time now, or, with `wanted`, that name;
  // its failures are told with its name.
  void OpenNumbersFile(const std::filesystem::path& wanted = {});
  // The numbers file's channel known, so that its failure names it.
  void RememberNumbers();

  std::filesystem::path runsDir_;
  harvest::WriterThread& writer_;
  std::unique_ptr<harvest::DurableAppender> numbers_;
  std::unique_ptr<RunLog> log_;
  std::filesystem::path file_;
  // A restored run's: its file as counted, and what it had not written.
  std::optional<harvest::CountedFile> restoredCounted_;
  std::string restoredUnwritten_;
  std::map<harvest::WriterThread::Channel, FileFailure> channels_;
};

}  // namespace session
