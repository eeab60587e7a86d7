#pragma once
// The About box: the maker's logo, the product name and version, a banner,
// three links and OK. It is created once at start, hidden, and lives as
// long as the program, so a link once pressed stays visited; the main
// window shows it modally through RunDialog.

#include <QDialog>

namespace shell {

class AboutBox final : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);

 protected:
  // Centred on the screen each time it shows, not on the main window.
  void showEvent(QShowEvent* event) override;
};

}  // namespace shell
