#include "session/merge_task.h"

#include <QtConcurrent/QtConcurrentRun>
#include <memory>

#include "platform/icu_line_collation.h"
#include "tools/merge_data_files.h"

namespace session {

MergeTask::MergeTask(std::vector<harvest::FilePath> inputs, harvest::FilePath output,
                     QObject* parent)
    : QObject(parent) {
  connect(&watcher_, &QFutureWatcher<Outcome>::finished, this, [this] {
    outcome_ = watcher_.result();
    Q_EMIT Ended();
  });
  auto work = [this, inputs = std::move(inputs), output = std::move(output)] {
    Outcome outcome;
    try {
      platform::IcuLineCollation collation(platform::IcuLineCollation::UserLocale());
      tools::MergeOptions options;
      options.progress = [this](const tools::MergeProgress& now) { Report(now); };
      options.sorted = [&outcome](std::int64_t lines) { outcome.count = lines; };
      tools::MergeDataFiles(inputs, output, collation, options);
    } catch (...) {
      outcome.error = std::current_exception();
    }
    return outcome;
  };
  watcher_.setFuture(QtConcurrent::run(std::move(work)));
}

MergeTask::~MergeTask() {
  watcher_.waitForFinished();
}

void MergeTask::Report(const tools::MergeProgress& progress) {
  {
    const std::lock_guard lock(reportMutex_);
    latest_ = progress;
  }
  if (!reportAsked_.exchange(true)) {
    QMetaObject::invokeMethod(this, &MergeTask::TakeReport, Qt::QueuedConnection);
  }
}

void MergeTask::TakeReport() {
  // Cleared first: a report that comes while this one is shown asks again.
  reportAsked_ = false;
  tools::MergeProgress progress;
  {
    const std::lock_guard lock(reportMutex_);
    progress = latest_;
  }
  Q_EMIT Progressed(progress);
}

}  // namespace session
