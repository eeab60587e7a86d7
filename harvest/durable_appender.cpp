#include "harvest/durable_appender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "harvest/posix_file.h"

namespace harvest {
namespace {

constexpr int kMaxNameTries = 1000;

}  // namespace

DurableAppender::DurableAppender(const std::filesystem::path& path, WriterThread& writer, NewFile)
    : writer_(writer), channel_(writer.Open()) {
  MakeNew(path);
}

DurableAppender::DurableAppender(const std::filesystem::path& path, WriterThread& writer,
                                 EarlierFile earlier)
    : writer_(writer), channel_(writer.Open()) {
  OpenEarlier(path, earlier.length);
}

void DurableAppender::MakeNew(const std::filesystem::path& path) {
  // The folder one level at a time, and the file made in the folder found:
  // a link planted at any level (a `runs` link in a shared program folder)
  // is never made through.
  const int folder = OpenFolderMakingLevels(path.has_parent_path() ? path.parent_path()
                                                                   : std::filesystem::path("."));
  if (folder < 0) {
    writer_.Fail(channel_, -folder);
    return;
  }
  int err = 0;
  for (int n = 1; n <= kMaxNameTries; ++n) {
    const std::string name =
        n == 1 ? path.filename().string()
               : path.stem().string() + "-" + std::to_string(n) + path.extension().string();
    fd_ = ::openat(folder, name.c_str(),
                   O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      path_ = n == 1 ? path : path.parent_path() / name;
      break;
    }
    err = errno;
    if (err != EEXIST) break;
  }
  ::close(folder);
  if (fd_ < 0) writer_.Fail(channel_, err);
}

void DurableAppender::OpenEarlier(const std::filesystem::path& path,
                                  std::optional<std::uint64_t> length) {
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
  length_ = static_cast<std::uint64_t>(info.st_size);
  // What lies past `length` was written by a step whose record never
  // reached the disk: the run going on reads those pages again and counts
  // their numbers anew.
  if (length && *length < length_ && ::ftruncate(fd, static_cast<off_t>(*length)) == 0) {
    length_ = *length;
  }
  fd_ = fd;
  path_ = path;
}

DurableAppender::~DurableAppender() {
  if (fd_ < 0) return;
  writer_.Flush();
  ::close(fd_);
}

void DurableAppender::Append(std::string bytes) {
  if (bytes.empty() || fd_ < 0 || writer_.Failed(channel_)) return;
  length_ += bytes.size();
  writer_.Append(channel_, fd_, std::move(bytes));
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

}  // namespace harvest
