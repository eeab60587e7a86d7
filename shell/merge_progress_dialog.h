#pragma once
// The merge's progress: its phase and how far it has come in megabytes of
// the selected files, modal to the whole application. It shows only when a
// merge takes longer than a moment, and cannot be cancelled or closed: a
// merge cannot stop half-way; the dialog goes when the merge ends.

#include <QProgressBar>
#include <QProgressDialog>

#include "tools/merge_progress.h"

namespace shell {

// How long a merge runs before its dialog shows.
inline constexpr int kProgressDialogDelayMs = 400;

class MergeProgressDialog final : public QProgressDialog {
  Q_OBJECT
 public:
  explicit MergeProgressDialog(QWidget* parent);

  void Show(const tools::MergeProgress& progress);
  // "正在读取数据文件..." and the others, as the dialog shows them.
  static QString PhaseText(tools::MergePhase phase);

 public Q_SLOTS:
  // QProgressDialog would take Esc or the close box as a cancel.
  void reject() override {}

 private:
  // Moved by hand: QProgressDialog::setValue runs the event loop from
  // inside the call once a modal dialog shows, under whoever called it.
  QProgressBar* bar_;
};

}  // namespace shell
