#include "harvest/recovery_record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>
#include <utility>

#include "harvest/crc32.h"
#include "harvest/errors.h"
#include "harvest/posix_file.h"

namespace harvest {
namespace {

// A part's payload above this is damage, not a tick's numbers.
constexpr std::uint32_t kMaxPartBytes = 256u << 20;
constexpr std::size_t kPartHead = 8;  // length and CRC
constexpr std::uint8_t kEmptied = 1;
constexpr std::uint8_t kHasRunFile = 2;
constexpr std::uint8_t kExact = 4;
// How often the open starts over when the record was replaced between the
// open and the lock (its holder's Restart renamed a new file over it).
constexpr int kOpenAttempts = 8;
// The header up to its version number: a file that starts so is a record of
// some version.
constexpr std::string_view kHeaderLead = "Kelvane recovery record ";

void PutU32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutU64(std::string& out, std::uint64_t value) {
  PutU32(out, static_cast<std::uint32_t>(value));
  PutU32(out, static_cast<std::uint32_t>(value >> 32));
}

void PutBytes(std::string& out, std::string_view bytes) {
  PutU32(out, static_cast<std::uint32_t>(bytes.size()));
  out += bytes;
}

void PutExact(std::string& out, const ExactPlace& exact) {
  PutU32(out, static_cast<std::uint32_t>(exact.keywordNumber));
  PutU32(out, static_cast<std::uint32_t>(exact.pageOffset));
  PutU32(out, static_cast<std::uint32_t>(exact.intervalSeconds));
  PutBytes(out, exact.keywordFile.native());
  PutU64(out, exact.keywordFileSize);
  PutU32(out, exact.keywordFileCrc);
  PutBytes(out, exact.runFile.native());
  PutU64(out, exact.runFileOnDisk.identity.device);
  PutU64(out, exact.runFileOnDisk.identity.inode);
  PutU64(out, exact.runFileOnDisk.length);
  PutU32(out, exact.runFileOnDisk.crc);
  PutBytes(out, exact.unwritten);
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
  std::uint64_t U64() {
    const std::uint64_t low = U32();
    return low | std::uint64_t{U32()} << 32;
  }
  std::string_view Bytes() { return Take(U32()); }
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
  if (flags & ~(kEmptied | kHasRunFile | kExact)) return false;  // a later format's part
  RunPlace place;
  place.resumePoint = static_cast<std::int32_t>(in.U32());
  place.foundCount = static_cast<std::int32_t>(in.U32());
  place.deduplicate = in.U8() != 0;
  place.keywordFile = std::string(in.Take(in.U32()));
  if (flags & kHasRunFile) {
    place.runFile = std::string(in.Take(in.U32()));
    place.runFileLength = in.U32();
    place.runFileLength |= std::uint64_t{in.U32()} << 32;
  }
  if (flags & kExact) {
    ExactPlace& exact = place.exact.emplace();
    exact.keywordNumber = static_cast<std::int32_t>(in.U32());
    exact.pageOffset = static_cast<std::int32_t>(in.U32());
    exact.intervalSeconds = static_cast<std::int32_t>(in.U32());
    exact.keywordFile = std::string(in.Bytes());
    exact.keywordFileSize = in.U64();
    exact.keywordFileCrc = in.U32();
    exact.runFile = std::string(in.Bytes());
    exact.runFileOnDisk.identity.device = in.U64();
    exact.runFileOnDisk.identity.inode = in.U64();
    exact.runFileOnDisk.length = in.U64();
    exact.runFileOnDisk.crc = in.U32();
    exact.unwritten = std::string(in.Bytes());
  }
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

// Why the file `info` describes (fstat of an open descriptor, or lstat of
// the path) is not this user's own record file, if it is not.
std::optional<RefusalReason> UntrustedFile(const struct stat& info) {
  if (S_ISLNK(info.st_mode)) return RefusalReason::kSymbolicLink;
  if (!S_ISREG(info.st_mode)) return RefusalReason::kNotARegularFile;
  if (info.st_uid != ::geteuid()) return RefusalReason::kOwnedByAnotherUser;
  // Another name may lie in a folder others read, or be the victim a
  // planted link would lead to.
  if (info.st_nlink != 1) return RefusalReason::kHasOtherLinks;
  return std::nullopt;
}

// Whether `head`, the file's first bytes (all of them when shorter than the
// header), is a header this version writes and reads.
std::optional<RefusalReason> UnknownHeader(std::string_view head) {
  // Empty, or a header cut short by a crash while an older program wrote it
  // afresh: a record that holds nothing yet.
  if (head.size() < kRecoveryHeader.size() && kRecoveryHeader.substr(0, head.size()) == head)
    return std::nullopt;
  if (head == kRecoveryHeader) return std::nullopt;
  if (head.substr(0, kHeaderLead.size()) == kHeaderLead) return RefusalReason::kOtherVersion;
  return RefusalReason::kNotARecord;
}

// Up to `size` bytes from the start of `fd` into `head`; 0 or errno.
int ReadHead(int fd, std::size_t size, std::string& head) {
  head.assign(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, head.data() + got, size - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  head.resize(got);
  return 0;
}

// What the record open at `fd` holds.
RecoveredRun ReadAll(int fd) {
  std::string bytes;
  char buffer[65536];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  return DecodeRecord(bytes);
}

// `place` with what its exact place's numbers file has on disk as the part
// is written, and the numbers not in it yet.
RunPlace WithRunFileOnDisk(RunPlace place, const WriterThread& writer,
                           std::optional<WriterThread::Channel> runFile) {
  if (place.exact && runFile) {
    WriterThread::OnDisk disk = writer.Disk(*runFile);
    place.exact->runFileOnDisk.length = disk.length;
    place.exact->runFileOnDisk.crc = disk.crc;
    place.exact->unwritten = std::move(disk.unwritten);
  }
  return place;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Makes a rename in `folder` durable.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Renames the record at `path` aside (see DamagedRecord); its new name, or
// none when it cannot be renamed (a folder this user may not write...).
std::optional<std::filesystem::path> MoveAside(const std::filesystem::path& path) {
  const time_t now = ::time(nullptr);
  struct tm local {};
  char stamp[32] = {};
  if (!::localtime_r(&now, &local) || !::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local))
    return std::nullopt;
  std::filesystem::path wanted = path;
  wanted += std::string(kDamagedRecordSuffix) + stamp;
  std::filesystem::path movedTo;
  if (RenameToFreeName(path, wanted, &movedTo) != 0) return std::nullopt;
  SyncFolder(path.has_parent_path() ? path.parent_path() : std::filesystem::path("."));
  return movedTo;
}

}  // namespace

std::string_view RefusalText(RefusalReason reason) {
  switch (reason) {
    case RefusalReason::kSymbolicLink:
      return "a symbolic link";
    case RefusalReason::kNotARegularFile:
      return "not a regular file";
    case RefusalReason::kOwnedByAnotherUser:
      return "owned by another user";
    case RefusalReason::kHasOtherLinks:
      return "has other links";
    case RefusalReason::kOtherVersion:
      return "a record of another version";
    case RefusalReason::kNotARecord:
      return "not a recovery record";
  }
  return "refused";
}

std::string EncodeRecordPart(bool emptied, const RunPlace& place,
                             const std::vector<std::string>& rows, std::size_t from) {
  std::string payload;
  payload.reserve(26 + place.keywordFile.size() + place.runFile.size() + (rows.size() - from) * 12);
  const bool hasRunFile = !place.runFile.empty();
  payload.push_back(static_cast<char>((emptied ? kEmptied : 0) | (hasRunFile ? kHasRunFile : 0) |
                                      (place.exact ? kExact : 0)));
  PutU32(payload, static_cast<std::uint32_t>(place.resumePoint));
  PutU32(payload, static_cast<std::uint32_t>(place.foundCount));
  payload.push_back(place.deduplicate ? 1 : 0);
  PutU32(payload, static_cast<std::uint32_t>(place.keywordFile.size()));
  payload += place.keywordFile;
  if (hasRunFile) {
    PutU32(payload, static_cast<std::uint32_t>(place.runFile.size()));
    payload += place.runFile;
    PutU32(payload, static_cast<std::uint32_t>(place.runFileLength));
    PutU32(payload, static_cast<std::uint32_t>(place.runFileLength >> 32));
  }
  if (place.exact) PutExact(payload, *place.exact);
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

RecoveryRecord::RecoveryRecord(std::filesystem::path path, WriterThread& writer)
    : writer_(writer), path_(std::move(path)) {
  bool settled = false;
  for (int attempt = 0; attempt < kOpenAttempts && !settled; ++attempt) settled = OpenOnce();
  if (!settled) Fail(EBUSY);  // replaced again and again: someone keeps swapping the file
  if (fd_ >= 0) {
    found_ = ReadAll(fd_);
    held_ = true;
    channel_ = writer_.Open(std::exchange(fd_, -1));
  } else if (openError_ != 0) {
    channel_ = writer_.OpenFailed(openError_);
  } else {
    channel_ = writer_.Open(-1);  // another program's, or refused: nothing is written
  }
}

// One try at opening, checking and locking the record: held, refused, failed
// or another program's (true), or replaced before it was locked (false).
bool RecoveryRecord::OpenOnce() {
  // O_NOFOLLOW: a link planted at the path is never followed, not even to
  // create its target; O_NONBLOCK: a named pipe there cannot hold the open
  // (it has no effect on a regular file).
  const int fd = ::open(path_.c_str(),
                        O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) {
    const int err = errno;
    // ELOOP for a link, EISDIR for a folder, EACCES for another's file...:
    // what lies there says more than the errno.
    struct stat there {};
    const auto reason = ::lstat(path_.c_str(), &there) == 0 ? UntrustedFile(there) : std::nullopt;
    if (reason) {
      Refuse(*reason);
    } else {
      Fail(err);
    }
    return true;
  }
  const auto leave = [fd] {
    ::close(fd);
    return true;
  };
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    Fail(errno);
    return leave();
  }
  if (const auto reason = UntrustedFile(info)) {
    Refuse(*reason);
    return leave();
  }
  // Another running program keeps this record: this one keeps none.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return leave();
  // The holder may have renamed a new record over this file between the open
  // and the lock, and let it go: the lock is then on a file nobody will read.
  struct stat named {};
  if (::lstat(path_.c_str(), &named) != 0 || !SameFile(named, info)) {
    ::close(fd);
    return false;
  }
  if (::fstat(fd, &info) != 0) {
    Fail(errno);
    return leave();
  }
  if (const auto reason = UntrustedFile(info)) {  // linked elsewhere meanwhile
    Refuse(*reason);
    return leave();
  }
  // A header that cannot be read is not taken for an empty record, which the
  // first Restart would replace.
  std::string head;
  if (const int err = ReadHead(fd, kRecoveryHeader.size(), head)) {
    Fail(err);
    return leave();
  }
  if (const auto reason = UnknownHeader(head)) {
    // The user's own file, checked and locked above: it goes aside, and the
    // next try makes a new record. Only once: a file that comes back at
    // once is somebody's doing, and refused.
    if (!movedAside_) {
      if (auto movedTo = MoveAside(path_)) {
        movedAside_ = DamagedRecord{std::move(*movedTo), *reason};
        ::close(fd);
        return false;
      }
    }
    Refuse(*reason);
    return leave();
  }
  // Our own file, left wider open by an older program.
  if ((info.st_mode & 07777) != 0600) ::fchmod(fd, 0600);
  fd_ = fd;
  return true;
}

RecoveryRecord::~RecoveryRecord() {
  writer_.Close(channel_);
}

void RecoveryRecord::Restart(const ResultList& list, const RunPlace& place,
                             std::optional<WriterThread::Channel> runFile) {
  if (!held_) return;
  // The whole list as of now, written afresh on the writer's thread.
  const bool any = list.Count() > 0 || place != RunPlace{};
  writer_.Replace(channel_, [&writer = writer_, rows = list.Rows(), place, runFile, any,
                             path = path_, hook = restartHook_](int& fd) {
    const std::string part =
        any ? EncodeRecordPart(true, WithRunFileOnDisk(place, writer, runFile), rows, 0)
            : std::string();
    return WriteAfresh(path, part, fd, hook);
  });
  rowsKept_ = static_cast<std::size_t>(list.Count());
  clearsKept_ = list.Clears();
  placeKept_ = place;
  anyKept_ = true;
}

// The header and `part` in a new file, which then replaces the record at
// `path` (see the header comment) and takes `fd`'s place; 0 or the errno of
// the failure, the record untouched.
int RecoveryRecord::WriteAfresh(const std::filesystem::path& path, std::string_view part, int& fd,
                                const std::function<void(RestartStep)>& hook) {
  const auto step = [&hook](RestartStep reached) {
    if (hook) hook(reached);
  };
  std::filesystem::path temporary = path;
  temporary += ".new";
  // Only the record's holder writes this file: one found here was left by a
  // program that ended inside a Restart. unlink() removes a link planted
  // here, never what it leads to.
  if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) return errno;
  const int fresh = ::open(temporary.c_str(),
                           O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fresh < 0) return errno;
  // Locked before it has the record's name, so that the name never leads to
  // a file no program holds. A fresh file: nobody else can hold it.
  (void)::flock(fresh, LOCK_EX | LOCK_NB);
  const auto discard = [&](int err) {
    ::unlink(temporary.c_str());
    ::close(fresh);
    return err;
  };
  step(RestartStep::kCreated);
  if (const int err = WriteAllTo(fresh, kRecoveryHeader)) return discard(err);
  step(RestartStep::kHeaderWritten);
  if (const int err = WriteAllTo(fresh, part)) return discard(err);
  step(RestartStep::kWritten);
  if (::fdatasync(fresh) != 0) return discard(errno);
  step(RestartStep::kFlushed);
  if (::rename(temporary.c_str(), path.c_str()) != 0) return discard(errno);
  step(RestartStep::kRenamed);
  SyncFolder(path.has_parent_path() ? path.parent_path() : std::filesystem::path("."));
  fd = fresh;  // the old file, gone from the folder, is closed with its lock
  step(RestartStep::kDone);
  return 0;
}

void RecoveryRecord::Keep(const ResultList& list, const RunPlace& place,
                          std::optional<WriterThread::Channel> runFile) {
  if (HasFailed()) return;  // nothing is even taken for a record kept no more
  if (!anyKept_) {
    Restart(list, place, runFile);
    return;
  }
  const auto start = ThreadCpuTime();
  const bool emptied = list.Clears() != clearsKept_;
  const std::size_t count = static_cast<std::size_t>(list.Count());
  const std::size_t from = emptied ? 0 : rowsKept_;
  if (!emptied && from == count && place == placeKept_) return;
  std::vector<std::string> added(list.Rows().begin() + static_cast<std::ptrdiff_t>(from),
                                 list.Rows().end());
  writer_.AppendBuilt(
      channel_, [emptied, place, runFile, added = std::move(added)](const WriterThread& writer) {
        return EncodeRecordPart(emptied, WithRunFileOnDisk(place, writer, runFile), added, 0);
      });
  rowsKept_ = count;
  clearsKept_ = list.Clears();
  placeKept_ = place;
  anyKept_ = true;
  lastKeepCpu_ = ThreadCpuTime() - start;
}

std::optional<std::string> RecoveryRecord::TakeFailure() {
  return writer_.TakeFailure(channel_);
}

void RecoveryRecord::Remove(std::optional<WriterThread::Channel> unlessUnwritten) {
  if (!held_) return;
  held_ = false;
  // Once its parts are written; only the file this program holds goes,
  // whatever else now has the name stays.
  writer_.Replace(channel_, [path = path_, &writer = writer_, unlessUnwritten](int& fd) {
    const bool numbersWait = unlessUnwritten && !writer.Disk(*unlessUnwritten).unwritten.empty();
    struct stat held {
    }, named{};
    if (!numbersWait && fd >= 0 && ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
        SameFile(held, named))
      ::unlink(path.c_str());
    if (fd >= 0) ::close(fd);
    fd = -1;
    return 0;
  });
}

}  // namespace harvest
