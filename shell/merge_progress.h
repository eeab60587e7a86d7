#pragma once
// The merge runs off the window's thread, behind a modal dialog that shows
// its phase and how far it has come in bytes of the selected files. The
// window goes on painting meanwhile but takes no input: for the first
// moments user input is held back altogether (a short merge shows no
// dialog), then the dialog, modal to the whole application, takes over.
// The dialog cannot be closed; it goes when the merge ends.

#include <QDialog>
#include <exception>
#include <functional>

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

// Runs `work` on a thread of its own and waits for it as described above,
// handing it the function through which it reports progress (callable from
// its thread). Answers the work's error, or none. Where no thread can be
// had, the work runs here, without the dialog.
std::exception_ptr RunBehindProgressDialog(
    QWidget* parent, const std::function<void(const tools::MergeProgressFunction&)>& work);

// How long the window waits, input held back, before the dialog shows.
inline constexpr int kProgressDialogDelayMs = 400;

}  // namespace shell
