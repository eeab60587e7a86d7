#pragma once
// The merge's progress: its phase and how far it has come in bytes of the
// selected files, in a dialog modal to the whole application. It cannot be
// closed; it goes when the merge ends.

#include <QDialog>

#include "tools/merge_progress.h"

class QLabel;
class QProgressBar;

namespace shell {

class MergeProgressDialog final : public QDialog {
  Q_OBJECT
 public:
  explicit MergeProgressDialog(QWidget* parent);
  void Show(const tools::MergeProgress& progress);

  // "正在读取数据文件..." and the others, as the dialog shows them.
  static QString PhaseText(tools::MergePhase phase);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* phase_ = nullptr;
  QLabel* amount_ = nullptr;
  QProgressBar* bar_ = nullptr;
};

}  // namespace shell
