#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace platform {
namespace {

// One request a connection: "show", a space and the activation token when
// there is one, LF. Anything longer is not ours.
constexpr qint64 kMaxRequestBytes = 4096;
constexpr char kShowRequest[] = "show";
// How long a later start waits for one connection or one write.
constexpr int kHandOverStepMs = 500;
constexpr auto kRetryPause = std::chrono::milliseconds(100);

// The lock's and the socket's path without their endings: the folder's
// bytes hashed, so that any folder name makes a short, plain file name.
QString PathStem(const QString& runtimeDir, const QByteArray& folder) {
  const QByteArray digest = QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex();
  return runtimeDir + QStringLiteral("/kelvane-") + QString::fromLatin1(digest.left(16));
}

// Tokens are opaque to us, but they go into the environment: printable
// ASCII without blanks only.
bool PlainToken(const QByteArray& token) {
  return std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

// Tells the program listening at `socketPath` to show its window; false
// when none took the request.
bool HandOver(const QString& socketPath, const QByteArray& activationToken) {
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(kHandOverStepMs)) return false;
  QByteArray request(kShowRequest);
  if (!activationToken.isEmpty() && PlainToken(activationToken)) request += ' ' + activationToken;
  socket.write(request + '\n');
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(kHandOverStepMs)) return false;
  }
  socket.disconnectFromServer();
  return true;
}

QString SystemError(const QString& what, const QString& path, int error) {
  return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace

InstanceClaim SingleInstance::Claim(const QString& runtimeDir, const QByteArray& folder,
                                    const QByteArray& activationToken,
                                    std::chrono::milliseconds patience) {
  InstanceClaim claim;
  if (runtimeDir.isEmpty()) {
    claim.problem = QStringLiteral("no runtime folder for the single-instance lock; running without it");
    return claim;
  }
  const QString stem = PathStem(runtimeDir, folder);
  const QString lockPath = stem + QStringLiteral(".lock");
  const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    claim.problem = SystemError(QStringLiteral("cannot open the single-instance lock"), lockPath, errno);
    return claim;
  }
  const QString socketPath = stem + QStringLiteral(".socket");
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      claim.instance.reset(new SingleInstance(fd, socketPath));
      if (!claim.instance->Listen()) {
        claim.problem = QStringLiteral("cannot listen at %1: %2; a second start will not find this one")
                            .arg(socketPath, claim.instance->server_->errorString());
      }
      return claim;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      claim.problem = SystemError(QStringLiteral("cannot lock"), lockPath, errno);
      ::close(fd);
      return claim;
    }
    // Held: a program runs for this folder, or is starting and about to listen.
    if (HandOver(socketPath, activationToken)) {
      claim.outcome = InstanceClaim::Outcome::kHandedOver;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      claim.outcome = InstanceClaim::Outcome::kNoAnswer;
      claim.problem = QStringLiteral("Kelvane is already running for this folder but does not answer at %1")
                          .arg(socketPath);
      break;
    }
    std::this_thread::sleep_for(kRetryPause);
  }
  ::close(fd);
  return claim;
}

SingleInstance::SingleInstance(int lockFd, QString socketPath)
    : lockFd_(lockFd), socketPath_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
  // The socket file goes before the lock, so that whoever takes the lock
  // next finds nothing of ours.
  delete server_;
  ::close(lockFd_);
}

bool SingleInstance::Listen() {
  // Nobody else can listen here while we hold the lock: a socket file that
  // is there is what a program that ended left behind.
  QLocalServer::removeServer(socketPath_);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::TakeConnection);
  return server_->listen(socketPath_);
}

void SingleInstance::TakeConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadRequest(socket); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // The request may have come with the connection.
    ReadRequest(socket);
  }
}

void SingleInstance::ReadRequest(QLocalSocket* socket) {
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() > kMaxRequestBytes) {
      socket->abort();
      socket->deleteLater();
    }
    return;
  }
  const QByteArray line = socket->readLine(kMaxRequestBytes).trimmed();
  socket->abort();
  socket->deleteLater();
  const QByteArray show(kShowRequest);
  if (line == show) {
    Q_EMIT ShowRequested({});
  } else if (line.startsWith(show + ' ')) {
    const QByteArray token = line.mid(show.size() + 1);
    Q_EMIT ShowRequested(PlainToken(token) ? token : QByteArray());
  }
}

QString UserRuntimeDir() {
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

}  // namespace platform
