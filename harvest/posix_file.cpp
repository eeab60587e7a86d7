#include "harvest/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace harvest {

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

PosixFile::~PosixFile() { Close(); }

int PosixFile::OpenForReading(const std::filesystem::path& path) {
  Close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return errno;
  // open() happily gives a descriptor for a folder; refuse it here, where
  // the caller reports a failed open, rather than at the first read.
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
    Close();
    return EISDIR;
  }
  return 0;
}

int PosixFile::Create(const std::filesystem::path& path, bool replaceExisting) {
  Close();
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (replaceExisting ? O_TRUNC : O_EXCL);
  fd_ = ::open(path.c_str(), flags, 0666);
  return fd_ < 0 ? errno : 0;
}

long PosixFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -errno;
  }
}

int PosixFile::WriteAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

int PosixFile::Sync() { return ::fsync(fd_) == 0 ? 0 : errno; }

int PosixFile::Close() {
  if (fd_ < 0) return 0;
  const int result = ::close(fd_) == 0 ? 0 : errno;
  fd_ = -1;
  return result;
}

int ReplacingWriter::Begin(const std::filesystem::path& target) {
  Discard();
  target_ = target;
  // A fixed pattern in the target's own folder keeps the rename on one file
  // system; O_EXCL with a counter avoids clobbering another writer's file.
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = target;
    temp_ += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    const int err = file_.Create(temp_, /*replaceExisting=*/false);
    if (err != EEXIST) {
      if (err != 0) temp_.clear();
      return err;
    }
  }
  temp_.clear();
  return EEXIST;
}

int ReplacingWriter::Commit(bool* failedAtRename) {
  int err = file_.Sync();
  const int closeErr = file_.Close();
  if (err == 0) err = closeErr;
  if (failedAtRename) *failedAtRename = false;
  if (err == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) {
    err = errno;
    if (failedAtRename) *failedAtRename = true;
  }
  if (err != 0) {
    Discard();
    return err;
  }
  temp_.clear();
  // Make the rename itself durable: flush the folder's entry.
  PosixFile folder;
  const auto parent = target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
  if (folder.OpenForReading(parent) == 0) folder.Sync();
  return 0;
}

void ReplacingWriter::Discard() {
  file_.Close();
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

ReplacingWriter::~ReplacingWriter() { Discard(); }

}  // namespace harvest
