// GoogleTest main for tests that need a Qt application: the program's own
// set-up, and every dialog must be answered by the test in advance.

#include <gtest/gtest.h>

#include "shell/application.h"
#include "shell/dialogs.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Headless unless told otherwise (listing the tests needs no display either).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  shell::PrepareProcess();
  shell::KelvaneApplication app(argc, argv);
  shell::SetUpApplication(app);
  shell::RequireDialogAnswers(true);
  return RUN_ALL_TESTS();
}
