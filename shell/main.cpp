// Program start: the application with its title, the main window, then the
// About box, and the message loop until the main window closes. A second
// start for the same progress file hands over to the running program and
// ends.

#include <unistd.h>

#include <QCommandLineParser>
#include <QScreen>
#include <cstdio>
#include <optional>

#include "platform/file_names.h"
#include "platform/single_instance.h"
#include "platform/termination_signals.h"
#include "shell/about_box.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "session/search_session.h"
#include "shell/window_geometry.h"
#include "shell/window_tray.h"

namespace {

// --help and --version, answered before anything else starts: no
// application object (which would need a display), no browser (which would
// need the sandbox). Any other argument is left to Qt and Qt WebEngine as
// before (-platform, -stylesheet, Chromium's switches such as --v=1), so a
// single dash starts a whole word and --version has no short form. Returns
// the exit status when the command line asked for an answer, nothing when
// the window should open.
std::optional<int> AnswerCommandLine(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  QCoreApplication::setApplicationName(QStringLiteral("kelvane"));
  QCoreApplication::setApplicationVersion(QStringLiteral(KELVANE_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Collects 11-digit mobile numbers from web-search result pages.\n"
                     "Started without an option, it opens its window."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Show this help and exit."));
  const QCommandLineOption version(QStringLiteral("version"),
                                   QStringLiteral("Show the version and exit."));
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.addOption(help);
  parser.addOption(version);
  // Unknown options are Qt's or Chromium's, not errors.
  (void)parser.parse(arguments);

  QString answer;
  if (parser.isSet(help)) {
    // Without an application object Qt cannot know the program's name.
    answer = parser.helpText().replace(QStringLiteral("<executable_name>"), arguments.value(0));
  } else if (parser.isSet(version)) {
    answer = QCoreApplication::applicationName() + QLatin1Char(' ') +
             QCoreApplication::applicationVersion() + QLatin1Char('\n');
  } else {
    return {};
  }
  std::fputs(answer.toLocal8Bit().constData(), stdout);
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any library sets up the process's signals.
  const std::vector<int> ignoredSignals = platform::IgnoredTerminationSignals();
  if (const auto status = AnswerCommandLine(argc, argv)) return *status;
  if (const auto refusal =
          shell::SandboxRefusal(::geteuid() == 0, QProcessEnvironment::systemEnvironment())) {
    std::fprintf(stderr, "%s\n", refusal->c_str());
    return 1;
  }
  shell::PrepareProcess(argc, argv);
  shell::KelvaneApplication app(argc, argv);
  shell::SetUpApplication(app);

  // One program per progress file: a program already running for this
  // folder is asked to show its window, and this start ends.
  session::SessionOptions options;
  options.appDir = platform::ChooseAppDir();
  const platform::InstanceClaim claim = platform::SingleInstance::Claim(
      platform::UserRuntimeDir(), QByteArray::fromStdString(options.appDir.native.string()),
      qgetenv("XDG_ACTIVATION_TOKEN"));
  if (!claim.problem.isEmpty()) std::fprintf(stderr, "kelvane: %s\n", qPrintable(claim.problem));
  switch (claim.outcome) {
    case platform::InstanceClaim::Outcome::kHandedOver:
      return 0;
    case platform::InstanceClaim::Outcome::kNoAnswer:
      return 1;
    case platform::InstanceClaim::Outcome::kRun:
      break;
  }

  // The session runs the search; the window shows it. The session outlives
  // the window, whose views show its page and its list.
  session::SearchSession searchSession(std::move(options));
  shell::MainWindow window(searchSession);
  if (claim.instance) {
    QObject::connect(claim.instance.get(), &platform::SingleInstance::ShowRequested, &window,
                     [&window] { window.Tray().ShowOnRequest(); });
  }
  shell::AboutBox aboutBox(&window);
  window.SetAboutBox(&aboutBox);
  // The progress file and the recovery record, whose questions come before
  // the window first shows.
  searchSession.RestoreAtStart();
  // The main window may sit hidden in the tray while the About box is the
  // only window; the program ends when the main window closes, not before.
  app.setQuitOnLastWindowClosed(false);
  QObject::connect(&window, &shell::MainWindow::Closed, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  // A logout, a shutdown, Ctrl+C: the program ends at once, with the status
  // a shell gives a process the signal ended (128 + its number). Installed
  // after the window, whose browser sets up the process's signals its own way.
  platform::TerminationSignals termination(ignoredSignals);
  QObject::connect(&termination, &platform::TerminationSignals::Received, &searchSession,
                   [&searchSession](int signalNumber) { searchSession.EndAtOnce(128 + signalNumber); });

  // Where the window was when the program last hid it, or in the middle.
  const bool remembered = shell::RememberGeometry(window, searchSession.AppDir().native / "kelvane.conf");
  if (const QScreen* screen = window.screen(); screen && !remembered) {
    window.move(screen->availableGeometry().center() - window.frameGeometry().center());
  }
  window.show();
  return app.exec();
}
