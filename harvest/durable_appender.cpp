#include "harvest/durable_appender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "harvest/errors.h"
#include "harvest/posix_file.h"

namespace harvest {
namespace {

constexpr int kMaxNameTries = 1000;

std::string FailureText(int err) {
  return FileErrorMessage(FileErrorCode(err));
}

}  // namespace

DurableAppender::DurableAppender(const std::filesystem::path& path, AppendTo to) {
  if (to == AppendTo::kNewFile) {
    MakeNew(path);
  } else {
    OpenExisting(path);
  }
  if (fd_ >= 0) writer_ = std::thread([this] { Write(); });
}

void DurableAppender::MakeNew(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  int err = 0;
  for (int n = 1; n <= kMaxNameTries; ++n) {
    const std::filesystem::path name =
        n == 1 ? path
               : path.parent_path() /
                     (path.stem().string() + "-" + std::to_string(n) + path.extension().string());
    fd_ =
        ::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      path_ = name;
      return;
    }
    err = errno;
    if (err != EEXIST) break;
  }
  failed_ = true;
  failure_ = FailureText(err);
}

void DurableAppender::OpenExisting(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  // Only the user's own file, under this name alone: another name may lie
  // in a folder others read.
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
      info.st_nlink != 1) {
    ::close(fd);
    return;
  }
  fd_ = fd;
  path_ = path;
}

DurableAppender::~DurableAppender() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (writer_.joinable()) writer_.join();
  if (fd_ >= 0) ::close(fd_);
}

void DurableAppender::Append(std::string bytes) {
  if (bytes.empty() || fd_ < 0) return;
  {
    const std::lock_guard lock(mutex_);
    if (failed_) return;
    pending_.push_back(std::move(bytes));
  }
  wake_.notify_one();
}

void DurableAppender::AppendLines(const std::vector<std::string>& lines) {
  const auto start = ThreadCpuTime();
  std::string bytes;
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  bytes.reserve(size);
  for (const std::string& line : lines) bytes.append(line).append("\r\n");
  Append(std::move(bytes));
  lastAppendCpu_ = ThreadCpuTime() - start;
}

void DurableAppender::Flush() {
  std::unique_lock lock(mutex_);
  drained_.wait(lock, [this] { return failed_ || (pending_.empty() && !writing_); });
}

std::optional<std::string> DurableAppender::TakeFailure() {
  const std::lock_guard lock(mutex_);
  return std::exchange(failure_, std::nullopt);
}

void DurableAppender::Write() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
    if (pending_.empty()) return;  // stopping, everything written
    // Everything handed over so far, in one write and one flush.
    std::string batch;
    for (auto& bytes : pending_) batch += bytes;
    pending_.clear();
    writing_ = true;
    lock.unlock();
    int err = WriteAllTo(fd_, batch);
    if (err == 0 && ::fdatasync(fd_) != 0) err = errno;
    lock.lock();
    writing_ = false;
    if (err != 0) {
      failed_ = true;
      failure_ = FailureText(err);
      pending_.clear();
      drained_.notify_all();
      return;
    }
    if (pending_.empty()) drained_.notify_all();
  }
}

}  // namespace harvest
