#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout or shutdown, Ctrl+C, a closed
// terminal) as a Qt signal on the thread that made this object. The
// handlers only write the signal's number to a socket that a
// QSocketNotifier watches, the one thing a signal handler may safely do.
// One object at a time; its end gives the signals their default handling
// back.

#include <QObject>

class QSocketNotifier;

namespace platform {

class TerminationSignals final : public QObject {
  Q_OBJECT
 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;

 Q_SIGNALS:
  void Received(int signalNumber);

 private:
  void ReadSignals();

  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace platform
