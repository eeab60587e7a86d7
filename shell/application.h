#pragma once
// The application object: its title, the green tool tips, Qt's own Chinese
// translations for the standard dialogs, and the last guard against an
// error escaping an event handler into Qt.

#include <QApplication>

namespace shell {

class KelvaneApplication final : public QApplication {
  Q_OBJECT
 public:
  KelvaneApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};

// Title, hint colour, translations: what program start sets before the
// first window. Tests call it too.
void SetUpApplication(QApplication& app);

// Must run before the application object exists (Qt WebEngine shares its
// OpenGL contexts with the widgets).
void PrepareProcess();

}  // namespace shell
