#include "shell/merge_progress_dialog.h"

#include <algorithm>

#include "shell/branding.h"

namespace shell {
namespace {

constexpr int kBarSteps = 1000;

QString Megabytes(std::uint64_t bytes) {
  return QString::number(static_cast<double>(bytes) / (1 << 20), 'f', 1);
}

}  // namespace

MergeProgressDialog::MergeProgressDialog(QWidget* parent)
    // A title, no close button.
    : QProgressDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      bar_(new QProgressBar) {
  setObjectName(QStringLiteral("MergeProgressDialog"));
  setWindowTitle(AppTitle());
  setWindowModality(Qt::ApplicationModal);
  setCancelButton(nullptr);
  // Closing would cancel, and a cancel would hide the dialog.
  disconnect(this, &QProgressDialog::canceled, this, &QProgressDialog::cancel);
  setAutoClose(false);
  setAutoReset(false);
  bar_->setObjectName(QStringLiteral("MergeProgressBar"));
  bar_->setTextVisible(false);
  setBar(bar_);
  setRange(0, kBarSteps);
  setLabelText(PhaseText(tools::MergePhase::kReading));
  setMinimumDuration(kProgressDialogDelayMs);
  setValue(0);  // the moment the delay counts from
}

QString MergeProgressDialog::PhaseText(tools::MergePhase phase) {
  switch (phase) {
    case tools::MergePhase::kReading:
      return tr("正在读取数据文件...");
    case tools::MergePhase::kSorting:
      return tr("正在排序...");
    case tools::MergePhase::kMerging:
      return tr("正在归并临时文件...");
    case tools::MergePhase::kWriting:
      return tr("正在写入合并后的数据文件...");
  }
  return {};
}

void MergeProgressDialog::Show(const tools::MergeProgress& progress) {
  if (progress.total == 0) {
    // Sizes unknown (pipes, devices): a moving bar and what was read.
    bar_->setRange(0, 0);
    setLabelText(PhaseText(progress.phase) + QLatin1Char('\n') + Megabytes(progress.done) +
                 QStringLiteral(" MB"));
    return;
  }
  const std::uint64_t done = std::min(progress.done, progress.total);
  bar_->setRange(0, kBarSteps);
  setLabelText(PhaseText(progress.phase) + QLatin1Char('\n') +
               QStringLiteral("%1 / %2 MB").arg(Megabytes(done), Megabytes(progress.total)));
  // The bar starts again with each phase.
  bar_->setValue(static_cast<int>(done * kBarSteps / progress.total));
}

}  // namespace shell
