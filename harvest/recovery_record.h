#pragma once
// The recovery record: the result list and the run's place, kept on disk as
// the run goes, so that a crash, a kill or a logout loses nothing. It lives
// beside the progress file, readable by its user alone (it holds personal
// data), and only one running program keeps it (a lock on the file).
//
// Each change is appended as one part. The caller's thread only builds the
// part, at a cost that follows what changed, not the list's length; a thread
// of the record's own writes the parts in order and flushes each to the
// device (fdatasync).
//
// The file: a header line, then the parts, each
//   u32 length | u32 CRC-32 of the payload | payload
// little-endian; the payload holds whether the list was emptied before the
// part, the run's place, and the rows added. A part cut short or damaged (a
// power cut in the middle of a write) ends the reading: what comes before it
// is what the record holds.
//
// An ordinary end of the program removes the file; a record found at start
// is that of a program that did not end normally.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "harvest/result_list.h"

namespace harvest {

// A dot file: the keyword import's dialog, which opens in the same folder,
// does not list it.
inline constexpr char kRecoveryFileName[] = ".kelvane.recovery";
inline constexpr std::string_view kRecoveryHeader = "Kelvane recovery record 1\n";

// The run's place as the record keeps it.
struct RunPlace {
  int resumePoint = 0;  // the keyword being searched (SearchRun::ResumePoint)
  int foundCount = 0;
  std::string keywordFile;  // as the keyword-file box shows it
  bool deduplicate = false;
  bool operator==(const RunPlace&) const = default;
};

// What a record holds.
struct RecoveredRun {
  std::vector<std::string> rows;
  RunPlace place;
  int parts = 0;  // whole parts read; none: nothing to restore
};

// One part: the list emptied first or not, the place, and rows[from...].
std::string EncodeRecordPart(bool emptied, const RunPlace& place,
                             const std::vector<std::string>& rows, std::size_t from);
// A whole record's bytes, header included; never raises on any bytes.
RecoveredRun DecodeRecord(std::string_view bytes);

class RecoveryRecord {
 public:
  // Opens the record at `path`, made with mode 0600 when missing, and locks
  // it. Never raises: a record that cannot be opened is a failure to tell
  // (TakeFailure), one held by another program is not held by this one.
  explicit RecoveryRecord(std::filesystem::path path);
  // Waits until every part handed over is on disk; the file stays.
  ~RecoveryRecord();
  RecoveryRecord(const RecoveryRecord&) = delete;
  RecoveryRecord& operator=(const RecoveryRecord&) = delete;

  // False when another running program holds the record (or it could not
  // be opened): this program then keeps none, and every call below does
  // nothing.
  bool Held() const { return fd_ >= 0; }
  // What the file holds now.
  RecoveredRun Read() const;
  // Writes the record afresh, holding `list` and `place` as one part (none
  // for an empty list and place), and takes them as what it holds.
  void Restart(const ResultList& list, const RunPlace& place);
  // Appends what changed since the last part: the rows added, or the list
  // emptied and what it holds since, and the place. Nothing when nothing
  // changed. Before any Restart it restarts the record with them.
  void Keep(const ResultList& list, const RunPlace& place);
  // The first failure to open or write the record, as the file error's
  // message ("Disk full"...), once. After it the record is kept no more.
  std::optional<std::string> TakeFailure();
  // Waits until every part handed over is on disk (or has failed).
  void Flush() { StopWriting(); }
  // An ordinary end: the file goes once what was handed over is written.
  void Remove();

  // The calling thread's CPU time in the last Keep (for the benchmarks).
  std::chrono::nanoseconds LastKeepCpu() const { return lastKeepCpu_; }

 private:
  void Fail(int posixErrno);
  void Hand(std::string part);
  void WriteParts();
  void StopWriting();

  std::filesystem::path path_;
  int fd_ = -1;
  // What the file holds, as of the last part handed over.
  std::size_t rowsKept_ = 0;
  std::uint64_t clearsKept_ = 0;
  RunPlace placeKept_;
  bool anyKept_ = false;
  std::chrono::nanoseconds lastKeepCpu_{0};

  // Shared with the writing thread.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> parts_;
  bool stopping_ = false;
  bool failed_ = false;
  std::optional<std::string> failure_;
  std::thread writer_;
};

}  // namespace harvest
