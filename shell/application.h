#pragma once
// The application object: its title, the green tool tips, Qt's own Chinese
// translations for the standard dialogs, and the last guard against an
// error escaping an event handler into Qt.

#include <QApplication>
#include <QProcessEnvironment>
#include <optional>
#include <string>

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

// Chromium's sandbox does not start as root, and the program never turns it
// off by itself: as root it runs only when the user has turned the sandbox
// off (QTWEBENGINE_DISABLE_SANDBOX set, or --no-sandbox in
// QTWEBENGINE_CHROMIUM_FLAGS). Otherwise the message to stop with.
std::optional<std::string> SandboxRefusal(bool runningAsRoot, const QProcessEnvironment& environment);

// Must run before the application object exists: Qt WebEngine shares its
// OpenGL contexts with the widgets, a start prints nothing unless
// something is wrong (the browser's set-up report and Chromium's routine
// log lines are off; a user's QT_LOGGING_RULES still win), and Qt's
// accessibility bridge is the only one (NO_AT_BRIDGE=1 unless the user
// set it).
void PrepareProcess(int argc = 0, char** argv = nullptr);

// The platform plugin asked for: "-platform NAME" on the command line, or
// QT_QPA_PLATFORM.
QString AskedPlatform(int argc, char** argv);

// The Chromium switches the browser starts with: the user's
// QTWEBENGINE_CHROMIUM_FLAGS, after ours so that theirs win, and without
// ours when they ask for logging in any way.
QByteArray BrowserFlags(const QByteArray& userFlags);

}  // namespace shell
