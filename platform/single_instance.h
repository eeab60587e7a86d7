#pragma once
// One program per progress file. The first start for a folder takes a lock
// in the user's runtime folder and listens on a local socket beside it; a
// later start for the same folder finds the lock taken, asks the running
// program over the socket to show its window, and ends. Copies of the
// program in other folders have other locks and run side by side.
//
// The lock is flock(2) on a file that is never removed: the kernel lets go
// of it when its holder ends, however it ends, so what a crash leaves
// behind (the lock file, a socket file nobody listens on) never stops the
// next start. Only the holder of the lock listens, and it clears any old
// socket file first.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace platform {

class SingleInstance;

struct InstanceClaim {
  enum class Outcome {
    kRun,         // this start runs the program
    kHandedOver,  // the running program was asked to show itself: end with 0
    kNoAnswer,    // a program holds the folder but never took the request
  };
  Outcome outcome = Outcome::kRun;
  // While this start runs the program: the lock and the listener. None when
  // they could not be set up; the program then runs unguarded.
  std::unique_ptr<SingleInstance> instance;
  // What went wrong, for the terminal; empty when nothing did.
  QString problem;
};

class SingleInstance final : public QObject {
  Q_OBJECT
 public:
  // Claims the program for the progress file's `folder` (its bytes on
  // disk), with the lock and the socket in `runtimeDir`. A later start
  // tries to reach the running program for `patience` (it may be starting
  // at this very moment) and hands it `activationToken`.
  static InstanceClaim Claim(const QString& runtimeDir, const QByteArray& folder,
                             const QByteArray& activationToken,
                             std::chrono::milliseconds patience = std::chrono::seconds(10));
  ~SingleInstance() override;

  // Where the running program listens.
  const QString& SocketPath() const { return socketPath_; }

 Q_SIGNALS:
  // A later start asked for the window. `activationToken` is the one its
  // launcher gave it (XDG_ACTIVATION_TOKEN), empty when none: a Wayland
  // compositor activates a window only with a token.
  void ShowRequested(const QByteArray& activationToken);

 private:
  SingleInstance(int lockFd, QString socketPath);
  bool Listen();
  void TakeConnection();
  void ReadRequest(QLocalSocket* socket);

  int lockFd_;
  QString socketPath_;
  QLocalServer* server_ = nullptr;
};

// The user's runtime folder (XDG_RUNTIME_DIR), where the lock and the
// socket go.
QString UserRuntimeDir();

}  // namespace platform
