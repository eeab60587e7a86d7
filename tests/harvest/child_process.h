#pragma once
// Runs a piece of a test in a forked child under a file-size limit, so that
// writes fall short exactly as they do on a full disk (EFBIG), without
// touching the test process itself. Answers the child's exit code.

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

template <typename Body>
int RunWithFileSizeLimit(rlim_t bytes, Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);  // a failed write instead of a killed process
    // The soft limit only: the child may lift it again, as a freed disk.
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs a piece of a test in a forked child that cannot override file
// permissions: as root the child becomes "nobody" first, without root's
// supplementary groups. Answers the exit code.
template <typename Body>
int RunUnprivileged(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(125);
    }
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs a piece of a test in a forked child as it is, for a test that ends
// the child on purpose (a kill at a chosen point). Answers the exit code, or
// 128 + the signal that ended the child.
template <typename Body>
int RunInChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
