#include "platform/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// [0] is written by the handler, [1] read by the notifier.
int sockets[2] = {-1, -1};

void OnSignal(int signalNumber) {
  const int saved = errno;
  const char number = static_cast<char>(signalNumber);
  // A full socket drops the signal: one already waiting does the same work.
  [[maybe_unused]] const ssize_t written = ::write(sockets[0], &number, 1);
  errno = saved;
}

}  // namespace

std::vector<int> IgnoredTerminationSignals() {
  std::vector<int> ignored;
  for (const int signalNumber : kSignals) {
    struct sigaction now {};
    if (::sigaction(signalNumber, nullptr, &now) == 0 && now.sa_handler == SIG_IGN)
      ignored.push_back(signalNumber);
  }
  return ignored;
}

TerminationSignals::TerminationSignals(std::vector<int> keepIgnored, QObject* parent)
    : QObject(parent) {
  for (const int signalNumber : kSignals) {
    if (std::find(keepIgnored.begin(), keepIgnored.end(), signalNumber) != keepIgnored.end()) {
      ::signal(signalNumber, SIG_IGN);
    } else {
      handled_.push_back(signalNumber);
    }
  }
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sockets) != 0) return;
  notifier_ = new QSocketNotifier(sockets[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::ReadSignals);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  ::sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signalNumber : handled_) ::sigaction(signalNumber, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
  for (const int signalNumber : handled_) ::signal(signalNumber, SIG_DFL);
  delete notifier_;
  for (int& fd : sockets) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void TerminationSignals::ReadSignals() {
  char numbers[16];
  for (;;) {
    const ssize_t n = ::read(sockets[1], numbers, sizeof numbers);
    if (n <= 0) return;
    for (ssize_t i = 0; i < n; ++i) Q_EMIT Received(numbers[i]);
  }
}

}  // namespace platform
