// GoogleTest main for tests that need a Qt application: the program's own
// set-up, and every dialog must be answered by the test in advance.

#include <gtest/gtest.h>
#include <unistd.h>

#include "shell/application.h"
#include "shell/dialogs.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Headless unless told otherwise (listing the tests needs no display either).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Chromium refuses to start as root with its sandbox on; only the tests
  // turn it off, and only then.
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  shell::PrepareProcess();
  shell::KelvaneApplication app(argc, argv);
  shell::SetUpApplication(app);
  shell::RequireDialogAnswers(true);
  return RUN_ALL_TESTS();
}
