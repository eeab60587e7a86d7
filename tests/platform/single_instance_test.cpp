// One program per progress file: the first start runs, a later one hands
// over and ends, other folders run side by side, and nothing a crash leaves
// behind stops the next start.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "../harvest/temp_dir.h"
#include "platform/single_instance.h"

namespace {

using platform::InstanceClaim;
using platform::SingleInstance;
using Outcome = InstanceClaim::Outcome;
using namespace std::chrono_literals;

const QByteArray kFolder = "/home/user/kelvane/";

class SingleInstanceTest : public testing::Test {
 protected:
  QString RuntimeDir() const { return QString::fromStdString(dir_.Path().string()); }
  InstanceClaim Claim(const QByteArray& folder = kFolder, const QByteArray& token = {},
                      std::chrono::milliseconds patience = 2s) const {
    return SingleInstance::Claim(RuntimeDir(), folder, token, patience);
  }
  // The lock beside a running program's socket.
  static std::string LockPath(const SingleInstance& running) {
    QString path = running.SocketPath();
    path.replace(QStringLiteral(".socket"), QStringLiteral(".lock"));
    return path.toStdString();
  }

  TempDir dir_;
};

// A plain Unix socket at `path`, listening; -1 on failure.
int ListenAt(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// A plain Unix socket connected to `path`; -1 on failure.
int ConnectTo(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Whether the other end has closed (or reset) the connection `fd`; what it
// sent before is dropped.
bool Ended(int fd) {
  char buffer[256];
  for (;;) {
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got == 0) return true;
    if (got < 0) return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
  }
}

TEST_F(SingleInstanceTest, ALaterStartHandsOverItsTokenAndEnds) {
  InstanceClaim first = Claim();
  ASSERT_EQ(first.outcome, Outcome::kRun);
  ASSERT_TRUE(first.instance);
  EXPECT_TRUE(first.problem.isEmpty()) << first.problem.toStdString();
  QSignalSpy shown(first.instance.get(), &SingleInstance::ShowRequested);

  for (const QByteArray& token : {QByteArray("kelvane-launch-1234_TIME5678"), QByteArray()}) {
    SCOPED_TRACE(token.toStdString());
    const InstanceClaim later = Claim(kFolder, token);
    EXPECT_EQ(later.outcome, Outcome::kHandedOver);
    EXPECT_FALSE(later.instance);
    ASSERT_TRUE(shown.wait(5000)) << "the running program never heard of the later start";
    EXPECT_EQ(shown.takeFirst().at(0).toByteArray(), token);
  }
}

TEST_F(SingleInstanceTest, ProgramsForOtherFoldersRunSideBySide) {
  const InstanceClaim first = Claim("/opt/kelvane-a/");
  const InstanceClaim second = Claim("/opt/kelvane-b/");
  EXPECT_EQ(first.outcome, Outcome::kRun);
  EXPECT_EQ(second.outcome, Outcome::kRun);
  ASSERT_TRUE(first.instance && second.instance);
  EXPECT_NE(first.instance->SocketPath(), second.instance->SocketPath());
}

TEST_F(SingleInstanceTest, WhatAnEndedProgramLeftBehindNeverStopsTheNextStart) {
  std::string socketPath;
  {
    const InstanceClaim ended = Claim();
    ASSERT_TRUE(ended.instance);
    socketPath = ended.instance->SocketPath().toStdString();
  }
  // A crash leaves its socket file, bound but with nobody listening, and
  // the lock file; the kernel has let go of the lock itself.
  const int stale = ListenAt(socketPath);
  ASSERT_GE(stale, 0);
  ::close(stale);
  ASSERT_TRUE(std::filesystem::exists(socketPath));

  InstanceClaim next = Claim();
  ASSERT_EQ(next.outcome, Outcome::kRun);
  ASSERT_TRUE(next.instance);
  EXPECT_TRUE(next.problem.isEmpty()) << next.problem.toStdString();
  // And it is the one a later start finds.
  QSignalSpy shown(next.instance.get(), &SingleInstance::ShowRequested);
  EXPECT_EQ(Claim().outcome, Outcome::kHandedOver);
  EXPECT_TRUE(shown.wait(5000));
}

TEST_F(SingleInstanceTest, AStartWaitsForAProgramThatIsStillStartingThenGivesUp) {
  std::string socketPath, lockPath;
  {
    const InstanceClaim probe = Claim();
    ASSERT_TRUE(probe.instance);
    socketPath = probe.instance->SocketPath().toStdString();
    lockPath = LockPath(*probe.instance);
  }
  // Another program holds the lock and has not listened yet.
  const int lock = ::open(lockPath.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);

  // It never listens: the start gives up, and runs nothing.
  const InstanceClaim unanswered = Claim(kFolder, {}, 300ms);
  EXPECT_EQ(unanswered.outcome, Outcome::kNoAnswer);
  EXPECT_FALSE(unanswered.instance);
  EXPECT_FALSE(unanswered.problem.isEmpty());

  // It listens once the start has begun (the start opens the lock file):
  // the start reaches it.
  const int opens = ::inotify_init1(IN_CLOEXEC);
  ASSERT_GE(opens, 0);
  ASSERT_GE(::inotify_add_watch(opens, lockPath.c_str(), IN_OPEN), 0);
  std::string request;
  std::thread starting([&] {
    pollfd opened{opens, POLLIN, 0};
    if (::poll(&opened, 1, 60000) != 1) return;
    const int server = ListenAt(socketPath);
    if (server < 0) return;
    const int client = ::accept(server, nullptr, nullptr);
    char buffer[64];
    long got = 0;
    while ((got = ::read(client, buffer, sizeof buffer)) > 0) request.append(buffer, std::size_t(got));
    ::close(client);
    ::close(server);
  });
  const InstanceClaim later = Claim(kFolder, {}, 30s);
  starting.join();
  ::close(opens);
  ::close(lock);
  EXPECT_EQ(later.outcome, Outcome::kHandedOver);
  EXPECT_EQ(request, "show\n");
}

TEST_F(SingleInstanceTest, OnlyAWellFormedRequestShowsTheWindow) {
  const InstanceClaim running = Claim();
  ASSERT_TRUE(running.instance);
  struct Case {
    const char* what;
    QByteArray request;
    bool shows;
    QByteArray token;
  };
  const Case cases[] = {
      {"plain", "show\n", true, ""},
      {"with a token", "show abc-123\n", true, "abc-123"},
      {"a token with a control byte is dropped", "show abc\x01" "def\n", true, ""},
      {"something else", "quit\n", false, ""},
      {"no line end", "show", false, ""},
      {"too long", QByteArray(8192, 'x'), false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QSignalSpy shown(running.instance.get(), &SingleInstance::ShowRequested);
    const int client = ConnectTo(running.instance->SocketPath().toStdString());
    ASSERT_GE(client, 0);
    EXPECT_EQ(::send(client, c.request.constData(), std::size_t(c.request.size()), MSG_NOSIGNAL),
              c.request.size());
    ::shutdown(client, SHUT_WR);
    // Whatever it made of the request, the program has read all of it once
    // it has ended the connection.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Ended(client); }, 10000));
    ::close(client);
    ASSERT_EQ(shown.count(), c.shows ? 1 : 0);
    if (c.shows) {
      EXPECT_EQ(shown.takeFirst().at(0).toByteArray(), c.token);
    }
  }
}

TEST_F(SingleInstanceTest, WithoutAUsableRuntimeFolderTheProgramRunsUnguarded) {
  for (const QString& runtimeDir : {QString(), RuntimeDir() + QStringLiteral("/missing")}) {
    SCOPED_TRACE(runtimeDir.toStdString());
    const InstanceClaim claim = SingleInstance::Claim(runtimeDir, kFolder, {}, 100ms);
    EXPECT_EQ(claim.outcome, Outcome::kRun);
    EXPECT_FALSE(claim.instance);
    EXPECT_FALSE(claim.problem.isEmpty());
  }
}

}  // namespace
