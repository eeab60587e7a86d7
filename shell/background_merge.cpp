#include "shell/background_merge.h"

#include <QApplication>
#include <QEvent>
#include <QThread>

#include "shell/merge_progress_dialog.h"

namespace shell {
namespace {

constexpr int kRefreshMs = 100;

// Drops the user's input to every window of the program for as long as it
// is installed; paints, timers and everything else go through.
class InputHold final : public QObject {
 public:
  InputHold() { qApp->installEventFilter(this); }
  ~InputHold() override { qApp->removeEventFilter(this); }

  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
        return true;
      default:
        return false;
    }
  }
};

}  // namespace

BackgroundMerge::BackgroundMerge(QWidget* window, Work work, Ended ended)
    : QObject(window),
      ended_(std::move(ended)),
      inputHold_(std::make_unique<InputHold>()) {
  QApplication::setOverrideCursor(Qt::BusyCursor);
  const std::shared_ptr<Report> report = report_;
  tools::MergeProgressFunction progress = [report](const tools::MergeProgress& now) {
    const std::lock_guard lock(report->mutex);
    report->latest = now;
    report->heard = true;
  };
  auto run = [work = std::move(work), progress = std::move(progress), report] {
    try {
      work(progress);
    } catch (...) {
      const std::lock_guard lock(report->mutex);
      report->error = std::current_exception();
    }
  };

  thread_ = QThread::create(run);
  connect(thread_, &QThread::finished, this, &BackgroundMerge::WorkEnded);
  thread_->start();
  if (!thread_->isRunning() && !thread_->isFinished()) {
    // No thread to be had (short of memory for its stack): the work runs
    // here, the window still until it ends.
    delete thread_;
    thread_ = nullptr;
    run();
    QMetaObject::invokeMethod(this, &BackgroundMerge::WorkEnded, Qt::QueuedConnection);
    return;
  }

  dialogDelay_.setSingleShot(true);
  connect(&dialogDelay_, &QTimer::timeout, this, &BackgroundMerge::ShowDialog);
  dialogDelay_.start(kProgressDialogDelayMs);
  refresh_.setInterval(kRefreshMs);
  connect(&refresh_, &QTimer::timeout, this, &BackgroundMerge::Refresh);
}

BackgroundMerge::~BackgroundMerge() {
  if (thread_) {
    thread_->wait();
    delete thread_;
  }
  if (ended_) QApplication::restoreOverrideCursor();
}

void BackgroundMerge::ShowDialog() {
  dialog_ = std::make_unique<MergeProgressDialog>(static_cast<QWidget*>(parent()));
  Refresh();
  dialog_->show();  // modal to the whole application: it holds the input now
  inputHold_.reset();
  refresh_.start();
}

void BackgroundMerge::Refresh() {
  const std::lock_guard lock(report_->mutex);
  if (dialog_ && report_->heard) dialog_->Show(report_->latest);
}

void BackgroundMerge::WorkEnded() {
  if (thread_) thread_->wait();  // it has finished; this orders its writes before our reads
  dialogDelay_.stop();
  refresh_.stop();
  dialog_.reset();
  inputHold_.reset();
  QApplication::restoreOverrideCursor();
  std::exception_ptr error;
  {
    const std::lock_guard lock(report_->mutex);
    error = report_->error;
  }
  // Last: the continuation may well delete this object.
  const Ended ended = std::exchange(ended_, nullptr);
  ended(error);
}

}  // namespace shell
