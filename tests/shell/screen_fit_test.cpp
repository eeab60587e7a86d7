// Windows open wholly on their screen, whatever the scale.

#include "shell/screen_fit.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QScreen>

#include "qt_test_helpers.h"

namespace {

TEST(FitWithin, ClampsToTheAreaLessTheFrameAndMovesInAsLittleAsItMust) {
  const QRect screen(0, 0, 640, 400);  // 1280 x 800 at twice the scale
  const QMargins frame(4, 28, 4, 4);   // a title bar and thin borders
  struct Case {
    const char* what;
    QRect window;
    QRect fitted;
  };
  const Case cases[] = {
      {"fits already: unchanged", {100, 50, 300, 200}, {100, 50, 300, 200}},
      {"the main window at twice the scale", {25, 0, 590, 418}, {25, 28, 590, 368}},
      {"too wide and too tall", {0, 0, 1180, 836}, {4, 28, 632, 368}},
      {"past the bottom right: moved back in", {500, 300, 200, 150}, {436, 246, 200, 150}},
      {"above and left of the screen", {-50, -10, 200, 100}, {4, 28, 200, 100}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shell::FitWithin(c.window, frame, screen), c.fitted) << c.what;
  }
  // On a second screen to the right, the same rules hold there.
  EXPECT_EQ(shell::FitWithin({1300, 900, 800, 600}, {}, {1280, 0, 1024, 768}),
            QRect(1300, 168, 800, 600));
}

TEST(ScreenFit, ADialogTallerThanTheScreenOpensWithinIt) {
  QDialog dialog;
  dialog.resize(3000, 2000);
  dialog.show();
  Settle();
  const QRect available = dialog.screen()->availableGeometry();
  EXPECT_TRUE(available.contains(dialog.frameGeometry()))
      << dialog.frameGeometry().width() << "x" << dialog.frameGeometry().height();
  // Once shown, the user's own size stands.
  dialog.resize(3000, 2000);
  Settle();
  EXPECT_EQ(dialog.size(), QSize(3000, 2000));
}

}  // namespace
