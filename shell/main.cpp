// Program start: the application with its title, the main window, then the
// About box, and the message loop until the main window closes.

#include <QScreen>

#include "shell/Unit1.h"
#include "shell/Unit4.h"
#include "shell/application.h"

int main(int argc, char** argv) {
  shell::PrepareProcess();
  shell::KelvaneApplication app(argc, argv);
  shell::SetUpApplication(app);

  shell::TForm1 form1;
  shell::TForm2 form2(&form1);
  form1.SetAboutBox(&form2);
  // The main window may sit hidden in the tray while the About box is the
  // only window; the program ends when the main window closes, not before.
  app.setQuitOnLastWindowClosed(false);
  QObject::connect(&form1, &shell::TForm1::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

  if (const QScreen* screen = form1.screen()) {
    form1.move(screen->availableGeometry().center() - form1.frameGeometry().center());
  }
  form1.show();
  return app.exec();
}
