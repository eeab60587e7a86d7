#pragma once
// The About box: the maker's logo, the product name and version, a banner,
// three links and OK, laid out and sized by Qt from what it shows and the
// desktop's font. It is created once at start, hidden, and lives as long as
// the program, so a link once pressed stays visited; the main window shows
// it modally through RunDialog.

#include <QDialog>
#include <QString>

namespace shell {

// The JPEG files the pictures are decoded from.
struct AboutPictures {
  QString logo = QStringLiteral(":/pictures/logo.jpg");
  QString banner = QStringLiteral(":/pictures/banner.jpg");
};

class AboutBox final : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr, const AboutPictures& pictures = {});

 protected:
  // Centred on its owner's screen each time it shows.
  void showEvent(QShowEvent* event) override;
};

}  // namespace shell
