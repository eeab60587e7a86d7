#pragma once
// The recovery record: the result list and the run's place, kept on disk as
// the run goes, so that a crash, a kill or a logout loses nothing. It lives
// beside the progress file, readable by its user alone (it holds personal
// data), and only one running program keeps it (a lock on the file).
//
// Each change is appended as one part. The caller's thread only takes what
// changed, at a cost that follows the change, not the list's length; a
// writer thread, shared with the run's numbers file, builds each part when
// its turn comes (after the numbers handed over before it), filling in what
// the numbers file then has on disk, writes the parts in order and flushes
// them to the device (fdatasync).
//
// The file: a header line, then the parts, each
//   u32 length | u32 CRC-32 of the payload | payload
// little-endian; the payload holds flags (1: the list was emptied before the
// part; 2: the place names a run file by its GBK text and its length; 4:
// the run's exact place, below), the run's place, and the rows added.
// A part cut short or damaged (a power cut in the middle of a write) ends the
// reading: what comes before it is what the record holds. The run file came
// after the first version as a flag and a field, not a new header: every
// record the first version wrote reads as it did, and a part without a run
// file is still written as the first version wrote it. A part with a flag
// this version does not know ends the reading like damage. The exact place
// (flag 4) came the same way; its parts name the run file by its bytes on
// disk and how much of it is on disk, never by the GBK text.
//
// The record trusts only a file it can call its own: the name itself (no
// symbolic link), a regular file, owned by this user, with no other name.
// Anything else at the path (planted by someone else) is left exactly as it
// is, not even read past its header, and the reason is given back once
// (Refusal) for the user to hear. A file of the user's own that this version
// cannot read (some other file, another version's record) would be refused
// at every start, and no run kept again: it is renamed beside the record,
// untouched, a new record is made, and its new name given back once
// (MovedAside).
//
// Restart writes the whole record afresh, on the writer thread, into a new
// file beside it
// (`<record>.new`, created here with O_EXCL, mode 0600, locked before it has
// the record's name; one left by a crash goes at the next Restart), flushes
// it and renames it over the record. A rename is the one step that swaps a
// whole old file for a whole new one: a crash at any moment leaves the old
// record or the new one on disk, never a truncated one, and the file is
// compacted to one part on the way. (Appending the new state as an "emptied" part would
// keep a whole copy too, but the old parts could then never be dropped
// without a truncation, which is exactly the unsafe step.)
//
// An ordinary end of the program removes the file; a record found at start
// is that of a program that did not end normally.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "harvest/file_identity.h"
#include "harvest/result_list.h"
#include "harvest/writer_thread.h"

namespace harvest {

// A dot file: the keyword import's dialog, which opens in the same folder,
// does not list it.
inline constexpr char kRecoveryFileName[] = ".kelvane.recovery";
inline constexpr std::string_view kRecoveryHeader = "Kelvane recovery record 1\n";

// Where a run under way stands exactly, for a run restored after a crash to
// go on at its page, in its file, with its count.
struct ExactPlace {
  // The page offset of a run that has ended, its numbers not all written.
  static constexpr int kEnded = -1;
  int keywordNumber = 0;  // the keyword being searched, 1-based (SearchRun::KeywordIndex)
  int pageOffset = 0;     // the page asked for last: read again when the run goes on; or kEnded
  int intervalSeconds = 0;
  // The keyword file the run reads, by its bytes on disk, and as it was.
  std::filesystem::path keywordFile;
  std::uint64_t keywordFileSize = 0;
  std::uint32_t keywordFileCrc = 0;
  // The run's numbers file, by its bytes on disk; what of it is on disk and
  // the numbers counted after that, not yet in it (CR LF lines). The writer
  // fills these in when the part's turn comes.
  std::filesystem::path runFile;
  CountedFile runFileOnDisk;
  std::string unwritten;
  bool operator==(const ExactPlace&) const = default;
};

// The run's place as the record keeps it.
struct RunPlace {
  int resumePoint = 0;  // the keyword being searched (SearchRun::ResumePoint)
  int foundCount = 0;
  std::string keywordFile;  // as the keyword-file box shows it
  bool deduplicate = false;
  // The GBK path text of the run's own numbers file, which a restored run
  // goes on in, and its length in bytes once the part's numbers are in it;
  // empty when there is none. Parts written without it (the first version's)
  // read with it empty, and a part with an empty one is written byte for
  // byte as the first version wrote it.
  std::string runFile;
  std::uint64_t runFileLength = 0;
  // While a run is under way: where exactly (none when no run is).
  std::optional<ExactPlace> exact = std::nullopt;
  bool operator==(const RunPlace&) const = default;
};

// What a record holds.
struct RecoveredRun {
  std::vector<std::string> rows;
  RunPlace place;
  int parts = 0;  // whole parts read; none: nothing to restore
};

// Why a file at the record's path is not taken as the record.
enum class RefusalReason {
  kSymbolicLink,        // it may lead anywhere, another user's file included
  kNotARegularFile,     // a folder, a named pipe, a device, a socket
  kOwnedByAnotherUser,  // its numbers would be readable by its owner
  kHasOtherLinks,       // another name for the same file lives elsewhere
  kOtherVersion,        // a record whose header this version does not know
  kNotARecord,          // some other file
};

// A file left untouched at `path`, and why.
struct RecordRefusal {
  std::filesystem::path path;
  RefusalReason reason;
  bool operator==(const RecordRefusal&) const = default;
};

// The user's own file found at the record's path that this version cannot
// read (kNotARecord, kOtherVersion), renamed with its bytes untouched to
// `<record>.damaged-YYYYMMDD-HHMMSS` (local time; `-2`, `-3`... when taken).
inline constexpr char kDamagedRecordSuffix[] = ".damaged-";
struct DamagedRecord {
  std::filesystem::path movedTo;
  RefusalReason reason;
  bool operator==(const DamagedRecord&) const = default;
};

// The reason in a few plain English words ("a symbolic link"), for logs and
// tests; the window words its own message.
std::string_view RefusalText(RefusalReason reason);

// One part: the list emptied first or not, the place, and rows[from...].
std::string EncodeRecordPart(bool emptied, const RunPlace& place,
                             const std::vector<std::string>& rows, std::size_t from);
// A whole record's bytes, header included; never raises on any bytes.
RecoveredRun DecodeRecord(std::string_view bytes);

class RecoveryRecord {
 public:
  // Opens the record at `path`, made with mode 0600 when missing, locks it
  // and reads what it holds; its parts are written by `writer`, which owns
  // the file from then on. Never raises: a record that cannot be opened is a
  // failure to tell (TakeFailure), a file this program must not trust is
  // refused (Refusal), the user's own file it cannot read is moved aside for
  // a new one (MovedAside), one held by another program is not held by this
  // one.
  RecoveryRecord(std::filesystem::path path, WriterThread& writer);
  // The file stays, closed by the writer once its parts are written.
  ~RecoveryRecord();
  RecoveryRecord(const RecoveryRecord&) = delete;
  RecoveryRecord& operator=(const RecoveryRecord&) = delete;

  // False when another running program holds the record (or it could not
  // be opened, or was refused): this program then keeps none, and every
  // call below does nothing.
  bool Held() const { return held_; }
  // The file found at the path and left untouched, if it was; set by the
  // constructor alone.
  const std::optional<RecordRefusal>& Refusal() const { return refusal_; }
  // The file found at the path and moved aside, if one was; set by the
  // constructor alone, which then made a new record.
  const std::optional<DamagedRecord>& MovedAside() const { return movedAside_; }
  // What the file held when it was opened.
  const RecoveredRun& Read() const { return found_; }
  // Writes the record afresh, holding `list` and `place` as one part (none
  // for an empty list and place), and takes them as what it holds. The old
  // record stays whole on disk until the new one has replaced it. A record
  // that failed is whole and kept again once a Restart succeeds.
  // `runFile`: the channel of the numbers file the place's exact part
  // names, whose state on disk the part is given.
  void Restart(const ResultList& list, const RunPlace& place,
               std::optional<WriterThread::Channel> runFile = {});
  // Appends what changed since the last part: the rows added, or the list
  // emptied and what it holds since, and the place. Nothing when nothing
  // changed, or after a failure (until a Restart). Before any Restart it
  // restarts the record with them.
  void Keep(const ResultList& list, const RunPlace& place,
            std::optional<WriterThread::Channel> runFile = {});
  // The first failure to open or write the record, as the file error's
  // message ("Disk full"...), once. After it the file holds what it held
  // before the failed write (a part cut short at its end at most).
  std::optional<std::string> TakeFailure();
  bool Failed() const { return HasFailed(); }
  // Waits until every part handed over is on disk (or has failed).
  void Flush() { writer_.Flush(); }
  // The writer's channel its parts go through, whose failure is the record's.
  WriterThread::Channel Channel() const { return channel_; }
  // An ordinary end: the file goes once what was handed over is written;
  // it stays when the numbers file `unlessUnwritten` still has numbers it
  // could not take (the record holds them for the next start).
  void Remove(std::optional<WriterThread::Channel> unlessUnwritten = {});

  // The calling thread's CPU time in the last Keep (for the benchmarks).
  std::chrono::nanoseconds LastKeepCpu() const { return lastKeepCpu_; }

  // The points inside Restart, in order, for the tests that end a process
  // at each of them (on the writer's thread).
  enum class RestartStep { kCreated, kHeaderWritten, kWritten, kFlushed, kRenamed, kDone };
  void OnRestartStep(std::function<void(RestartStep)> hook) { restartHook_ = std::move(hook); }

 private:
  bool OpenOnce();
  void Refuse(RefusalReason reason) { refusal_ = RecordRefusal{path_, reason}; }
  static int WriteAfresh(const std::filesystem::path& path, std::string_view part, int& fd,
                         const std::function<void(RestartStep)>& hook);
  // A failure to open: told through the channel once the open is given up.
  void Fail(int posixErrno) { openError_ = posixErrno; }
  bool HasFailed() const { return !held_ || writer_.Failed(channel_); }

  WriterThread& writer_;
  WriterThread::Channel channel_ = 0;
  std::filesystem::path path_;
  int fd_ = -1;  // until the writer has it
  bool held_ = false;
  int openError_ = 0;
  RecoveredRun found_;
  std::optional<RecordRefusal> refusal_;
  std::optional<DamagedRecord> movedAside_;
  std::function<void(RestartStep)> restartHook_;
  // What the file holds, as of the last part handed over.
  std::size_t rowsKept_ = 0;
  std::uint64_t clearsKept_ = 0;
  RunPlace placeKept_;
  bool anyKept_ = false;
  std::chrono::nanoseconds lastKeepCpu_{0};
};

}  // namespace harvest
