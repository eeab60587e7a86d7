#include "tools/run_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "harvest/errors.h"

namespace tools {
namespace {

constexpr std::size_t kDigitRecordBytes = 9;
constexpr std::size_t kPrefixBytes = 8;
// The replacing writer's temporaries are numbered from 0; these from here.
constexpr int kFirstRunFileNumber = 1000;
constexpr int kNameAttempts = 100;

// Where the output's name leads: symbolic links followed to their end, as
// the replacing writer follows them, so the runs share its folder.
std::filesystem::path LinkEnd(std::filesystem::path path) {
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code err;
    if (!std::filesystem::is_symlink(path, err)) break;
    const std::filesystem::path next = std::filesystem::read_symlink(path, err);
    if (err) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
}

int OpenUnnamed(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  // File systems (and kernels) without O_TMPFILE answer one of these.
  return errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL ? -2 : -1;
}

int OpenNamedThenRemove(const std::filesystem::path& end) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::filesystem::path name = end;
    name +=
        ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(kFirstRunFileNumber + attempt);
    const int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::unlink(name.c_str());
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

void StoreLittleEndian(std::uint64_t value, char* out) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(value >> (8 * i));
}
std::uint64_t LoadLittleEndian(const char* in) {
  std::uint64_t value = 0;
  for (int i = 8; i-- > 0;) value = value << 8 | static_cast<unsigned char>(in[i]);
  return value;
}

// Collects bytes and appends them to the file in large writes.
class RunBuffer {
 public:
  RunBuffer(RunFile& file, std::size_t bytes) : file_(file) { buffer_.reserve(bytes); }
  char* Room(std::size_t n) {
    if (buffer_.capacity() - buffer_.size() < n) Flush();
    const std::size_t at = buffer_.size();
    buffer_.resize(at + n);
    return buffer_.data() + at;
  }
  void Append(std::string_view bytes) {
    if (bytes.size() >= buffer_.capacity()) {
      Flush();
      file_.Append(bytes);
      return;
    }
    std::memcpy(Room(bytes.size()), bytes.data(), bytes.size());
  }
  void Flush() {
    file_.Append(buffer_);
    buffer_.clear();
  }

 private:
  RunFile& file_;
  std::string buffer_;
};

class RunDigits final : public DigitSource {
 public:
  // Records, then the numbers and lengths read from them: 18 bytes a line
  // in all, within the buffer's bytes.
  RunDigits(const RunFile& file, const Run& run, std::size_t bufferBytes)
      : file_(file), at_(run.digitsAt), left_(run.digitLines) {
    const std::size_t lines = std::max<std::size_t>(bufferBytes / (kDigitRecordBytes + 9), 64);
    bytes_.resize(lines * kDigitRecordBytes);
    values_.resize(lines);
    lengths_.resize(lines);
  }
  DigitBlock Next() override {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, values_.size()));
    if (n == 0) return {};
    file_.Read(at_, bytes_.data(), n * kDigitRecordBytes);
    at_ += n * kDigitRecordBytes;
    left_ -= n;
    for (std::size_t i = 0; i < n; ++i) {
      const char* record = bytes_.data() + i * kDigitRecordBytes;
      values_[i] = LoadLittleEndian(record);
      lengths_[i] = static_cast<std::uint8_t>(record[8]);
      if (lengths_[i] > kMaxDigitLineLength || values_[i] >= kPowersOf10[lengths_[i]])
        throw harvest::StreamReadError();
    }
    return {values_.data(), lengths_.data(), 0, n};
  }

 private:
  const RunFile& file_;
  std::uint64_t at_;
  std::uint64_t left_;
  std::vector<char> bytes_;
  std::vector<std::uint64_t> values_;
  std::vector<std::uint8_t> lengths_;
};

// A run's other lines, a block at a time: half the buffer's bytes for the
// records read, half for their views and key prefixes (24 bytes a line).
class RunText final : public TextSource {
 public:
  RunText(const RunFile& file, const Run& run, std::size_t bufferBytes)
      : file_(file),
        at_(run.textAt),
        left_(run.textBytes),
        buffer_(std::max<std::size_t>(bufferBytes / 2, 256)),
        maxLines_(std::max<std::size_t>(bufferBytes / 2 / 24, 16)) {}

  TextBlock Next() override {
    lines_.clear();
    prefixes_.clear();
    for (;;) {
      while (lines_.size() < maxLines_ && end_ - begin_ > kPrefixBytes) {
        const char* start = buffer_.data() + begin_;
        const auto* lf = static_cast<const char*>(
            std::memchr(start + kPrefixBytes, '\n', end_ - begin_ - kPrefixBytes));
        if (!lf) break;
        std::uint64_t prefix;
        std::memcpy(&prefix, start, kPrefixBytes);
        prefixes_.push_back(prefix);
        lines_.emplace_back(start + kPrefixBytes,
                            static_cast<std::size_t>(lf - start) - kPrefixBytes);
        begin_ = static_cast<std::size_t>(lf + 1 - buffer_.data());
      }
      if (!lines_.empty()) return {lines_.data(), prefixes_.data(), lines_.size()};
      if (left_ == 0) {
        if (begin_ != end_) throw harvest::StreamReadError();  // a record cut short
        return {};
      }
      // Keep the record begun, make room, read on; a line longer than the
      // buffer doubles it.
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
      if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(left_, buffer_.size() - end_));
      file_.Read(at_, buffer_.data() + end_, n);
      at_ += n;
      left_ -= n;
      end_ += n;
    }
  }

 private:
  const RunFile& file_;
  std::uint64_t at_;
  std::uint64_t left_;
  std::vector<char> buffer_;
  std::size_t maxLines_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::vector<std::string_view> lines_;
  std::vector<std::uint64_t> prefixes_;
};

}  // namespace

RunFile::RunFile(const std::filesystem::path& output, Temporary preferred) {
  const std::filesystem::path end = LinkEnd(output);
  const std::filesystem::path folder =
      end.has_parent_path() ? end.parent_path() : std::filesystem::path(".");
  fd_ = preferred == Temporary::Unnamed ? OpenUnnamed(folder) : -2;
  if (fd_ == -2) fd_ = OpenNamedThenRemove(end);
  if (fd_ < 0) throw harvest::StreamWriteError();
}

RunFile::~RunFile() {
  if (fd_ >= 0) ::close(fd_);
}

void RunFile::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(size_));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw harvest::StreamWriteError();
    size_ += static_cast<std::uint64_t>(n);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void RunFile::Read(std::uint64_t offset, char* buffer, std::size_t size) const {
  while (size > 0) {
    const ssize_t n = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw harvest::StreamReadError();
    buffer += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::size_t>(n);
  }
}

void RunFile::Discard(std::uint64_t offset, std::uint64_t length) {
  (void)::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                    static_cast<off_t>(length));
}

Run WriteRun(RunFile& file, DigitSource& digits, TextSource& texts, std::size_t bufferBytes) {
  RunBuffer out(file, bufferBytes);
  Run run;
  run.digitsAt = file.Size();
  for (DigitBlock block = digits.Next(); block.count > 0; block = digits.Next()) {
    for (std::size_t i = 0; i < block.count; ++i) {
      char* record = out.Room(kDigitRecordBytes);
      StoreLittleEndian(block.values[i], record);
      record[8] = static_cast<char>(block.Length(i));
    }
    run.digitLines += block.count;
  }
  char prefix[kPrefixBytes];
  for (TextBlock block = texts.Next(); block.count > 0; block = texts.Next()) {
    for (std::size_t i = 0; i < block.count; ++i) {
      std::memcpy(prefix, &block.prefixes[i], kPrefixBytes);
      out.Append(std::string_view(prefix, kPrefixBytes));
      out.Append(block.lines[i]);
      out.Append("\n");
    }
    run.textLines += block.count;
  }
  out.Flush();
  run.textAt = run.digitsAt + run.digitLines * kDigitRecordBytes;
  run.textBytes = file.Size() - run.textAt;
  return run;
}

std::unique_ptr<DigitSource> ReadRunDigits(const RunFile& file, const Run& run,
                                           std::size_t bufferBytes) {
  return std::make_unique<RunDigits>(file, run, bufferBytes);
}

std::unique_ptr<TextSource> ReadRunText(const RunFile& file, const Run& run,
                                        std::size_t bufferBytes) {
  return std::make_unique<RunText>(file, run, bufferBytes);
}

}  // namespace tools
