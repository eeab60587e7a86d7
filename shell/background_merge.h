#pragma once
// A merge on a thread of its own while the window's event loop goes on: the
// window paints, its timers and the browser's answers arrive, but user input
// is held back, first by a filter (a short merge shows no dialog), then, from
// a short delay on, by the progress dialog, modal to the whole application.
// The busy cursor shows for as long as the merge runs. When the merge has
// ended and the dialog has gone, `ended` runs on the window's thread with
// the merge's error, or none.

#include <QObject>
#include <QTimer>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "tools/merge_progress.h"

class QThread;

namespace shell {

class MergeProgressDialog;

// How long the window waits, input held back, before the dialog shows.
inline constexpr int kProgressDialogDelayMs = 400;

class BackgroundMerge final : public QObject {
  Q_OBJECT
 public:
  using Work = std::function<void(const tools::MergeProgressFunction&)>;
  using Ended = std::function<void(std::exception_ptr error)>;

  // Starts `work` at once, handing it the function through which it reports
  // progress (callable from its threads). Where no thread can be had, the
  // work runs here, the window still until it ends; `ended` comes later
  // either way. The dialog is a child of `window`, as this object is.
  BackgroundMerge(QWidget* window, Work work, Ended ended);
  // Waits for the work, should the merge still run.
  ~BackgroundMerge() override;

 private:
  // What the work tells from its thread and the window's thread reads.
  struct Report {
    std::mutex mutex;
    tools::MergeProgress latest;
    bool heard = false;
    std::exception_ptr error;
  };

  void ShowDialog();
  void Refresh();
  void WorkEnded();

  Ended ended_;
  std::shared_ptr<Report> report_ = std::make_shared<Report>();
  QThread* thread_ = nullptr;
  std::unique_ptr<QObject> inputHold_;
  std::unique_ptr<MergeProgressDialog> dialog_;
  QTimer dialogDelay_;
  QTimer refresh_;
};

}  // namespace shell
