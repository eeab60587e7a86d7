// Program start: the application with its title, the main window, then the
// About box, and the message loop until the main window closes.

#include <unistd.h>

#include <QScreen>
#include <cstdio>

#include "shell/about_box.h"
#include "shell/application.h"
#include "shell/main_window.h"

int main(int argc, char** argv) {
  if (const auto refusal = shell::SandboxRefusal(::geteuid() == 0, QProcessEnvironment::systemEnvironment())) {
    std::fprintf(stderr, "%s\n", refusal->c_str());
    return 1;
  }
  shell::PrepareProcess();
  shell::KelvaneApplication app(argc, argv);
  shell::SetUpApplication(app);

  shell::MainWindow window;
  shell::AboutBox aboutBox(&window);
  window.SetAboutBox(&aboutBox);
  // The main window may sit hidden in the tray while the About box is the
  // only window; the program ends when the main window closes, not before.
  app.setQuitOnLastWindowClosed(false);
  QObject::connect(&window, &shell::MainWindow::Closed, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);

  if (const QScreen* screen = window.screen()) {
    window.move(screen->availableGeometry().center() - window.frameGeometry().center());
  }
  window.show();
  return app.exec();
}
