// GoogleTest main for the browser's tests: an application that Qt WebEngine
// can run in, offscreen, drawing in software.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLoggingCategory>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_QUICK_BACKEND", "software");
  // Chromium refuses to start as root with its sandbox on; only the tests
  // turn it off, and only then.
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
