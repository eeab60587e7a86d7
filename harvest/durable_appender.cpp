#include "harvest/durable_appender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "harvest/crc32.h"
#include "harvest/posix_file.h"

namespace harvest {
namespace {

constexpr int kMaxNameTries = 1000;

// The file's first `length` bytes, or none when it has fewer.
std::optional<std::string> ReadFirst(int fd, std::uint64_t length) {
  std::string bytes(length, '\0');
  std::uint64_t got = 0;
  while (got < length) {
    const ssize_t n = ::pread(fd, bytes.data() + got, length - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    got += static_cast<std::uint64_t>(n);
  }
  return bytes;
}

bool Digits(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether `bytes` are what the writer may have left past the count: whole
// lines of digits, each ended with CR LF (a step whose record part a crash
// took), and at most one line cut short at the end (a write that failed).
bool NumbersPastTheCount(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find("\r\n");
    if (end == std::string_view::npos) {
      // A cut line: digits, perhaps its CR.
      if (bytes.back() == '\r') bytes.remove_suffix(1);
      return Digits(bytes);
    }
    if (end == 0 || !Digits(bytes.substr(0, end))) return false;
    bytes.remove_prefix(end + 2);
  }
  return true;
}

}  // namespace

std::optional<FileIdentity> IdentityOf(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

DurableAppender::DurableAppender(const std::filesystem::path& path, WriterThread& writer, NewFile)
    : writer_(writer) {
  MakeNew(path);
}

DurableAppender::DurableAppender(const std::filesystem::path& path, WriterThread& writer,
                                 EarlierFile earlier)
    : writer_(writer) {
  OpenEarlier(path, earlier.counted);
}

void DurableAppender::Hand(int fd, const std::filesystem::path& path, std::uint32_t crc, int err) {
  if (fd < 0) {
    channel_ = writer_.OpenFailed(err);
    return;
  }
  path_ = path;
  identity_ = IdentityOf(fd).value_or(FileIdentity{});
  channel_ = writer_.Open(fd, length_, crc);
}

void DurableAppender::MakeNew(const std::filesystem::path& path) {
  // The folder one level at a time, and the file made in the folder found:
  // a link planted at any level (a `runs` link in a shared program folder)
  // is never made through.
  const int folder = OpenFolderMakingLevels(path.has_parent_path() ? path.parent_path()
                                                                   : std::filesystem::path("."));
  if (folder < 0) {
    Hand(-1, {}, 0, -folder);
    return;
  }
  int err = 0;
  int fd = -1;
  std::filesystem::path made;
  for (int n = 1; n <= kMaxNameTries; ++n) {
    const std::string name =
        n == 1 ? path.filename().string()
               : path.stem().string() + "-" + std::to_string(n) + path.extension().string();
    fd = ::openat(folder, name.c_str(),
                  O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      made = n == 1 ? path : path.parent_path() / name;
      break;
    }
    err = errno;
    if (err != EEXIST) break;
  }
  ::close(folder);
  Hand(fd, made, 0, err);
}

void DurableAppender::OpenEarlier(const std::filesystem::path& path,
                                  const std::optional<CountedFile>& counted) {
  // O_RDWR: its counted bytes are read back to be known by their CRC.
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  const auto leave = [&] {
    if (fd >= 0) ::close(fd);
    channel_ = writer_.Open(-1);  // a channel that writes nowhere, never told
  };
  if (fd < 0) return leave();
  // Only the user's own file, under this name alone: another name may lie
  // in a folder others read.
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
      info.st_nlink != 1) {
    return leave();
  }
  length_ = static_cast<std::uint64_t>(info.st_size);
  std::uint32_t crc = 0;
  if (counted) {
    // The very file the record counted, as it counted it; what the writer
    // left past the count (numbers whose record part a crash took, a line
    // a full disk cut short) is cut: their page is read again, or they are
    // kept to be written. A file the user changed is not written into.
    if (IdentityOf(fd) != counted->identity || length_ < counted->length) return leave();
    const auto all = ReadFirst(fd, length_);
    if (!all || Crc32(std::string_view(*all).substr(0, counted->length)) != counted->crc ||
        !NumbersPastTheCount(std::string_view(*all).substr(counted->length))) {
      return leave();
    }
    if (length_ > counted->length && ::ftruncate(fd, static_cast<off_t>(counted->length)) != 0)
      return leave();
    length_ = counted->length;
    crc = counted->crc;
  }
  Hand(fd, path, crc, 0);
}

DurableAppender::~DurableAppender() {
  writer_.Close(channel_);
}

void DurableAppender::Append(std::string bytes) {
  // Handed over even when the file could not be made: the writer keeps them.
  if (bytes.empty()) return;
  length_ += bytes.size();
  writer_.Append(channel_, std::move(bytes));
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
