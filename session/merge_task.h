#pragma once
// A merge of data files on a worker thread (QtConcurrent), watched from the
// window's thread: its progress comes as signals, its end as Ended once the
// work is over, with the number of lines written when the sort phase got
// that far and the error that ended it, if one did.

#include <QFutureWatcher>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <vector>

#include "harvest/file_path.h"
#include "tools/merge_progress.h"

namespace session {

class MergeTask final : public QObject {
  Q_OBJECT
 public:
  struct Outcome {
    std::optional<std::int64_t> count;  // lines written
    std::exception_ptr error;
  };

  // Starts at once, in the user's locale's order.
  MergeTask(std::vector<harvest::FilePath> inputs, harvest::FilePath output,
            QObject* parent = nullptr);
  // Waits for the work, should it still run.
  ~MergeTask() override;

  // Once Ended has come.
  const Outcome& Result() const { return outcome_; }

 Q_SIGNALS:
  // How far the merge has come, on this object's thread: the latest report
  // when the thread gets to it, never one per report of the merge.
  void Progressed(const tools::MergeProgress& progress);
  void Ended();

 private:
  // On the merge's thread: keeps the report, and asks this object's thread
  // to take it unless it has been asked already.
  void Report(const tools::MergeProgress& progress);
  void TakeReport();

  QFutureWatcher<Outcome> watcher_;
  Outcome outcome_;
  // The merge reports far more often than a dialog can show: only the
  // latest report waits to be taken.
  std::mutex reportMutex_;
  tools::MergeProgress latest_;
  std::atomic<bool> reportAsked_{false};
};

}  // namespace session
