#include "harvest/recovery_record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

#include "harvest/errors.h"
#include "harvest/posix_file.h"

namespace harvest {
namespace {

// A part's payload above this is damage, not a tick's numbers.
constexpr std::uint32_t kMaxPartBytes = 256u << 20;
constexpr std::size_t kPartHead = 8;  // length and CRC
constexpr std::uint8_t kEmptied = 1;

// CRC-32 (the reflected 0xEDB88320 polynomial of zip and PNG).
constexpr std::array<std::uint32_t, 256> kCrcTable = [] {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}();

std::uint32_t Crc32(std::string_view bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (const char byte : bytes)
    c = kCrcTable[(c ^ static_cast<std::uint8_t>(byte)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void PutU32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

// Reads the payload front to back; a read past the end fails the reader.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool Ok() const { return ok_; }
  bool AtEnd() const { return bytes_.empty(); }

  std::uint32_t U32() {
    const std::string_view b = Take(4);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < b.size(); ++i)
      value |= std::uint32_t{static_cast<std::uint8_t>(b[i])} << (8 * i);
    return value;
  }
  std::uint8_t U8() {
    const std::string_view b = Take(1);
    return b.empty() ? 0 : static_cast<std::uint8_t>(b[0]);
  }
  std::string_view Take(std::size_t n) {
    if (!ok_ || n > bytes_.size()) {
      ok_ = false;
      return {};
    }
    const std::string_view taken = bytes_.substr(0, n);
    bytes_.remove_prefix(n);
    return taken;
  }

 private:
  std::string_view bytes_;
  bool ok_ = true;
};

// Applies one payload to `run`; false (and `run` untouched) when it does
// not read as a part.
bool ApplyPart(std::string_view payload, RecoveredRun& run) {
  Reader in(payload);
  const std::uint8_t flags = in.U8();
  RunPlace place;
  place.resumePoint = static_cast<std::int32_t>(in.U32());
  place.foundCount = static_cast<std::int32_t>(in.U32());
  place.deduplicate = in.U8() != 0;
  place.keywordFile = std::string(in.Take(in.U32()));
  const std::uint32_t count = in.U32();
  if (!in.Ok() || count > payload.size()) return false;
  std::vector<std::string> rows;
  rows.reserve(count);
  for (std::uint32_t i = 0; i < count && in.Ok(); ++i) rows.emplace_back(in.Take(in.U8()));
  if (!in.Ok() || !in.AtEnd()) return false;

  if (flags & kEmptied) run.rows.clear();
  run.rows.insert(run.rows.end(), std::make_move_iterator(rows.begin()),
                  std::make_move_iterator(rows.end()));
  run.place = std::move(place);
  ++run.parts;
  return true;
}

std::chrono::nanoseconds ThreadCpuTime() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace

std::string EncodeRecordPart(bool emptied, const RunPlace& place,
                             const std::vector<std::string>& rows, std::size_t from) {
  std::string payload;
  payload.reserve(14 + place.keywordFile.size() + (rows.size() - from) * 12);
  payload.push_back(static_cast<char>(emptied ? kEmptied : 0));
  PutU32(payload, static_cast<std::uint32_t>(place.resumePoint));
  PutU32(payload, static_cast<std::uint32_t>(place.foundCount));
  payload.push_back(place.deduplicate ? 1 : 0);
  PutU32(payload, static_cast<std::uint32_t>(place.keywordFile.size()));
  payload += place.keywordFile;
  PutU32(payload, static_cast<std::uint32_t>(rows.size() - from));
  for (std::size_t i = from; i < rows.size(); ++i) {
    // A row is a number's 11 digits; a longer caption is kept to its first 255 bytes.
    const std::string_view row = std::string_view(rows[i]).substr(0, 255);
    payload.push_back(static_cast<char>(row.size()));
    payload += row;
  }
  std::string part;
  part.reserve(kPartHead + payload.size());
  PutU32(part, static_cast<std::uint32_t>(payload.size()));
  PutU32(part, Crc32(payload));
  part += payload;
  return part;
}

RecoveredRun DecodeRecord(std::string_view bytes) {
  RecoveredRun run;
  if (bytes.substr(0, kRecoveryHeader.size()) != kRecoveryHeader) return run;  // not a record
  Reader in(bytes.substr(kRecoveryHeader.size()));
  while (!in.AtEnd()) {
    const std::uint32_t length = in.U32();
    const std::uint32_t crc = in.U32();
    if (!in.Ok() || length > kMaxPartBytes) break;
    const std::string_view payload = in.Take(length);
    if (!in.Ok() || Crc32(payload) != crc || !ApplyPart(payload, run)) break;
  }
  return run;
}

RecoveryRecord::RecoveryRecord(std::filesystem::path path) : path_(std::move(path)) {
  const int fd = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    Fail(errno);
    return;
  }
  // Another running program keeps this record: this one keeps none.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    return;
  }
  ::fchmod(fd, 0600);  // a file left by an older program may be wider open
  fd_ = fd;
}

RecoveryRecord::~RecoveryRecord() {
  StopWriting();
  if (fd_ >= 0) ::close(fd_);
}

RecoveredRun RecoveryRecord::Read() const {
  if (fd_ < 0) return {};
  std::string bytes;
  char buffer[65536];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd_, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  return DecodeRecord(bytes);
}

void RecoveryRecord::Restart(const ResultList& list, const RunPlace& place) {
  if (fd_ < 0) return;
  StopWriting();
  std::string bytes(kRecoveryHeader);
  if (list.Count() > 0 || place != RunPlace{})
    bytes += EncodeRecordPart(true, place, list.Rows(), 0);
  int err = ::ftruncate(fd_, 0) == 0 ? 0 : errno;
  if (err == 0) err = WriteAllTo(fd_, bytes);
  if (err == 0 && ::fdatasync(fd_) != 0) err = errno;
  if (err != 0) {
    Fail(err);
    return;
  }
  rowsKept_ = static_cast<std::size_t>(list.Count());
  clearsKept_ = list.Clears();
  placeKept_ = place;
  anyKept_ = true;
}

void RecoveryRecord::Keep(const ResultList& list, const RunPlace& place) {
  if (fd_ < 0) return;
  if (!anyKept_) {
    Restart(list, place);
    return;
  }
  const auto start = ThreadCpuTime();
  const bool emptied = list.Clears() != clearsKept_;
  const std::size_t count = static_cast<std::size_t>(list.Count());
  const std::size_t from = emptied ? 0 : rowsKept_;
  if (!emptied && from == count && place == placeKept_) return;
  Hand(EncodeRecordPart(emptied, place, list.Rows(), from));
  rowsKept_ = count;
  clearsKept_ = list.Clears();
  placeKept_ = place;
  anyKept_ = true;
  lastKeepCpu_ = ThreadCpuTime() - start;
}

std::optional<std::string> RecoveryRecord::TakeFailure() {
  const std::lock_guard lock(mutex_);
  return std::exchange(failure_, std::nullopt);
}

void RecoveryRecord::Remove() {
  if (fd_ < 0) return;
  StopWriting();
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

void RecoveryRecord::Fail(int posixErrno) {
  const std::lock_guard lock(mutex_);
  if (failed_) return;
  failed_ = true;
  failure_ = FileErrorMessage(FileErrorCode(posixErrno));
}

void RecoveryRecord::Hand(std::string part) {
  {
    const std::lock_guard lock(mutex_);
    if (failed_) return;
    parts_.push_back(std::move(part));
    if (!writer_.joinable()) {
      stopping_ = false;
      writer_ = std::thread([this] { WriteParts(); });
    }
  }
  wake_.notify_one();
}

void RecoveryRecord::WriteParts() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !parts_.empty(); });
    if (parts_.empty()) return;  // stopping, and everything is written
    std::string part = std::move(parts_.front());
    parts_.pop_front();
    lock.unlock();
    int err = WriteAllTo(fd_, part);
    if (err == 0 && ::fdatasync(fd_) != 0) err = errno;
    lock.lock();
    if (err != 0) {
      // A part cut short ends the reading; nothing may follow it.
      failed_ = true;
      failure_ = FileErrorMessage(FileErrorCode(err));
      parts_.clear();
    }
  }
}

void RecoveryRecord::StopWriting() {
  {
    const std::lock_guard lock(mutex_);
    if (!writer_.joinable()) return;
    stopping_ = true;
  }
  wake_.notify_one();
  writer_.join();
}

}  // namespace harvest
