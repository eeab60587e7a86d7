#pragma once
// TForm2, the About box: created once at start, hidden, and shown modally
// by the main window's About command.

#include <QDialog>

namespace shell {

class TForm2 final : public QDialog {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);
};

}  // namespace shell
