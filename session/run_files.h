#pragma once
// The files of a run in the runs folder: its numbers file, which gets every
// number the run counts in order (one a line, CR LF), and its log beside it.
// Each run gets new ones named by its start in local time; a run that
// resumes one restored after a crash goes on in that run's files, from the
// length its record counted. Every file made is remembered by its writer
// channel, so that a failure the writer meets later is told with its path.

#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harvest/durable_appender.h"
#include "harvest/file_path.h"
#include "session/run_log.h"
#include "session/session_questions.h"

namespace session {

class RunFiles {
 public:
  RunFiles(harvest::FilePath runsDir, harvest::WriterThread& writer);

  const harvest::FilePath& RunsDir() const { return runsDir_; }

  // A run restored after a crash: the next run goes on in `file` (its text
  // as the record keeps it) from the `length` the record counted.
  void Restore(const std::string& file, std::uint64_t length);
  // A run starts: its numbers file made (or the restored run's gone on
  // with), and its log.
  void Start(int keywords, int firstKeyword);

  // A step's counted numbers, handed to the writer.
  void Append(const std::vector<std::string>& counted);
  // The running run's numbers file; null before any run (for the benchmarks).
  const harvest::DurableAppender* Numbers() const { return numbers_.get(); }
  // The run's log; null before any run.
  RunLog* Log() { return log_.get(); }

  // The file of the run that started last, or was restored: its text as
  // the record keeps it and as the user reads it; empty before any.
  const std::string& FileText() const { return fileText_; }
  QString FileShown() const;
  // Its length once everything handed over is written; the restored one's
  // until a run goes on in it.
  std::uint64_t Length() const;

  // The file whose writer channel `channel` is, failed with `reason`; none
  // for a channel that is not a run's.
  std::optional<FileFailure> FailureOf(harvest::WriterThread::Channel channel,
                                       const QString& reason) const;

 private:
  void OpenNumbersFile();

  harvest::FilePath runsDir_;
  harvest::WriterThread& writer_;
  std::unique_ptr<harvest::DurableAppender> numbers_;
  std::unique_ptr<RunLog> log_;
  std::string fileText_;       // GBK, as the record keeps it
  bool goOnRestored_ = false;  // the next run goes on in the restored file
  std::uint64_t restoredLength_ = 0;
  std::map<harvest::WriterThread::Channel, FileFailure> channels_;
};

}  // namespace session
