#include "shell/merge_progress.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "shell/branding.h"

namespace shell {
namespace {

constexpr int kRefreshMs = 100;
constexpr int kBarSteps = 1000;

// What the merging thread tells and the window's thread reads.
struct Shared {
  std::mutex mutex;
  tools::MergeProgress latest;
  bool heard = false;
  std::exception_ptr error;
  std::atomic<bool> done{false};
};

QString Megabytes(std::uint64_t bytes) {
  return QString::number(static_cast<double>(bytes) / (1 << 20), 'f', 1);
}

}  // namespace

MergeProgressDialog::MergeProgressDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("MergeProgressDialog"));
  setWindowTitle(AppTitle());
  setWindowModality(Qt::ApplicationModal);
  // A title, no close button: the merge cannot be stopped half-way.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  phase_ = new QLabel(PhaseText(tools::MergePhase::kReading), this);
  phase_->setObjectName(QStringLiteral("MergePhase"));
  amount_ = new QLabel(this);
  amount_->setObjectName(QStringLiteral("MergeAmount"));
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("MergeProgressBar"));
  bar_->setRange(0, kBarSteps);
  bar_->setTextVisible(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(phase_);
  layout->addWidget(bar_);
  layout->addWidget(amount_);
  setMinimumWidth(360);
}

QString MergeProgressDialog::PhaseText(tools::MergePhase phase) {
  switch (phase) {
    case tools::MergePhase::kReading:
      return QStringLiteral("正在读取数据文件...");
    case tools::MergePhase::kSorting:
      return QStringLiteral("正在排序...");
    case tools::MergePhase::kMerging:
      return QStringLiteral("正在归并临时文件...");
    case tools::MergePhase::kWriting:
      return QStringLiteral("正在写入合并后的数据文件...");
  }
  return {};
}

void MergeProgressDialog::Show(const tools::MergeProgress& progress) {
  phase_->setText(PhaseText(progress.phase));
  if (progress.total == 0) {
    // Sizes unknown (pipes, devices): a moving bar and what was read.
    bar_->setRange(0, 0);
    amount_->setText(Megabytes(progress.done) + QStringLiteral(" MB"));
    return;
  }
  const std::uint64_t done = std::min(progress.done, progress.total);
  bar_->setRange(0, kBarSteps);
  bar_->setValue(static_cast<int>(done * kBarSteps / progress.total));
  amount_->setText(QStringLiteral("%1 / %2 MB").arg(Megabytes(done), Megabytes(progress.total)));
}

void MergeProgressDialog::closeEvent(QCloseEvent* event) {
  event->ignore();
}

void MergeProgressDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) return;  // QDialog would reject
  QDialog::keyPressEvent(event);
}

std::exception_ptr RunBehindProgressDialog(
    QWidget* parent, const std::function<void(const tools::MergeProgressFunction&)>& work) {
  const auto shared = std::make_shared<Shared>();
  const tools::MergeProgressFunction report = [shared](const tools::MergeProgress& progress) {
    const std::lock_guard lock(shared->mutex);
    shared->latest = progress;
    shared->heard = true;
  };
  QEventLoop loop;
  std::thread worker;
  try {
    worker = std::thread([&work, &report, &loop, shared] {
      try {
        work(report);
      } catch (...) {
        shared->error = std::current_exception();
      }
      shared->done = true;
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
  } catch (const std::system_error&) {
    // No thread to be had (short of memory for its stack): the work runs
    // here, the window still until it ends.
    try {
      work(report);
    } catch (...) {
      return std::current_exception();
    }
    return nullptr;
  }

  // The first moments: paints and timers go on, input waits.
  QTimer::singleShot(kProgressDialogDelayMs, &loop, &QEventLoop::quit);
  if (!shared->done) loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (!shared->done) {
    MergeProgressDialog dialog(parent);
    QTimer refresh;
    refresh.setInterval(kRefreshMs);
    auto update = [&dialog, &shared] {
      const std::lock_guard lock(shared->mutex);
      if (shared->heard) dialog.Show(shared->latest);
    };
    QObject::connect(&refresh, &QTimer::timeout, &dialog, update);
    update();
    refresh.start();
    dialog.show();
    while (!shared->done) loop.exec();
  }
  worker.join();
  return shared->error;
}

}  // namespace shell
