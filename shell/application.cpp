#include "shell/application.h"

#include <QAccessibleObject>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QToolTip>
#include <QTranslator>
#include <QWindow>

#include "shell/branding.h"
#include "shell/error_handler.h"
#include "shell/screen_fit.h"

namespace shell {
namespace {

// The application as assistive technology sees it: Qt's, with only the
// windows the window system has. Qt lists every top-level QWindow, and the
// browser's page is drawn by a Qt Quick widget whose scene lives in a
// window of its own, "Offscreen", that is never made a native window: a
// screen reader would find a second, empty frame beside the main window.
// The page itself stays reachable inside the main window's browser.
class AccessibleApplication final : public QAccessibleApplication {
 public:
  int childCount() const override { return static_cast<int>(Windows().size()); }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child ? static_cast<int>(Windows().indexOf(child->object())) : -1;
  }
  QAccessibleInterface* child(int index) const override {
    const QObjectList windows = Windows();
    return index >= 0 && index < windows.size()
               ? QAccessible::queryAccessibleInterface(windows[index])
               : nullptr;
  }
  QAccessibleInterface* focusChild() const override {
    QAccessibleInterface* focus = QAccessibleApplication::focusChild();
    return focus && Windows().contains(focus->object()) ? focus : nullptr;
  }

 private:
  // As Qt's own list (no popup menus, no desktop), less the windows without
  // a native window.
  static QObjectList Windows() {
    QObjectList windows;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
      if (window->type() == Qt::Popup || window->type() == Qt::Desktop || !window->handle())
        continue;
      if (const QAccessibleInterface* root = window->accessibleRoot(); root && root->object())
        windows.append(root->object());
    }
    return windows;
  }
};

// Asked before Qt's own answer for the application object.
QAccessibleInterface* AccessibleApplicationFactory(const QString&, QObject* object) {
  return object && object == QCoreApplication::instance() ? new AccessibleApplication : nullptr;
}

}  // namespace

KelvaneApplication::KelvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool KelvaneApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  Guarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

std::optional<std::string> SandboxRefusal(bool runningAsRoot,
                                          const QProcessEnvironment& environment) {
  if (!runningAsRoot || environment.contains(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX")))
    return {};
  const QStringList flags = environment.value(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"))
                                .split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (flags.contains(QStringLiteral("--no-sandbox"))) return {};
  return "kelvane: the embedded browser's sandbox cannot run as root. Run Kelvane as an ordinary "
         "user, or set QTWEBENGINE_DISABLE_SANDBOX=1 to run it as root without the sandbox.";
}

QByteArray BrowserFlags(const QByteArray& userFlags) {
  // Errors and worse only: a routine start logs a GPU line or two.
  static constexpr char kQuiet[] = "--log-level=3";
  for (const QByteArray& flag : userFlags.split(' ')) {
    for (const char* logging : {"--log-level", "--enable-logging", "--v", "--vmodule"}) {
      if (flag == logging || flag.startsWith(QByteArray(logging) + '=')) return userFlags;
    }
  }
  // Chromium takes the last of a repeated switch.
  return userFlags.isEmpty() ? QByteArray(kQuiet) : kQuiet + (' ' + userFlags);
}

QString AskedPlatform(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    const QByteArray argument(argv[i]);
    if (argument == "-platform" || argument == "--platform")
      return QString::fromLocal8Bit(argv[i + 1]);
  }
  return qEnvironmentVariable("QT_QPA_PLATFORM");
}

void PrepareProcess(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // Rules set here come before QT_LOGGING_RULES, which override them.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", BrowserFlags(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS")));
  // GTK's accessibility bridge (its theme loads it) is a windowless twin to screen readers.
  if (!qEnvironmentVariableIsSet("NO_AT_BRIDGE")) qputenv("NO_AT_BRIDGE", "1");
  // The offscreen platform has no OpenGL: the browser draws in software
  // from the start rather than trying OpenGL first and warning that it
  // failed. Set here, before the application starts any thread that reads
  // the environment.
  if (AskedPlatform(argc, argv).startsWith(QStringLiteral("offscreen")) &&
      !qEnvironmentVariableIsSet("QT_QUICK_BACKEND")) {
    qputenv("QT_QUICK_BACKEND", "software");
  }
}

void SetUpApplication(QApplication& app) {
  // Before the accessibility bridge first asks for the application.
  QAccessible::installFactory(AccessibleApplicationFactory);
  app.setApplicationName(QStringLiteral("kelvane"));
  // The desktop entry the window belongs to, for docks and Wayland.
  app.setDesktopFileName(QStringLiteral("com.example.kelvane"));
  // No display name: Qt would append it to every window title.
  app.setWindowIcon(ProgramIcon());

  // Every window opens wholly on its screen, at any scale.
  FitWindowsToScreen(app);

  QPalette tips = QToolTip::palette();
  tips.setColor(QPalette::ToolTipBase, QColor(0, 255, 0));
  QToolTip::setPalette(tips);

  // The window speaks Chinese; so should the file and input dialogs.
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* catalogue : {"qtbase_zh_CN", "qtwebengine_zh_CN"}) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QString::fromLatin1(catalogue), dir)) {
      QCoreApplication::installTranslator(translator);
    } else {
      delete translator;
    }
  }
}

}  // namespace shell
