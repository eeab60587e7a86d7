#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout or shutdown, Ctrl+C, a closed
// terminal) as a Qt signal on the thread that made this object. The
// handlers only write the signal's number to a socket that a
// QSocketNotifier watches, the one thing a signal handler may safely do.
// One object at a time; its end gives the signals their default handling
// back. A signal the program was started with ignored (nohup, a service
// manager) stays ignored: whoever started it asked for that.

#include <QObject>
#include <vector>

class QSocketNotifier;

namespace platform {

// Which of SIGTERM, SIGINT and SIGHUP are ignored now. Asked first thing in
// main, before libraries set up the process's signals their own way.
std::vector<int> IgnoredTerminationSignals();

class TerminationSignals final : public QObject {
  Q_OBJECT
 public:
  // `keepIgnored`: the signals that were ignored at start; they are ignored
  // again (a library may have changed them since) and never handled.
  explicit TerminationSignals(std::vector<int> keepIgnored = {}, QObject* parent = nullptr);
  ~TerminationSignals() override;

 Q_SIGNALS:
  void Received(int signalNumber);

 private:
  void ReadSignals();

  QSocketNotifier* notifier_ = nullptr;
  std::vector<int> handled_;
};

}  // namespace platform
