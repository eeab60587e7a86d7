#include "shell/merge_progress_dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/branding.h"

namespace shell {
namespace {

constexpr int kBarSteps = 1000;

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

}  // namespace shell
