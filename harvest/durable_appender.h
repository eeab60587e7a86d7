#pragma once
// A file that only grows, written by a writer thread: the caller hands over
// bytes and goes on; the thread appends them in order and flushes them to
// the device (fdatasync). The run's own numbers file and its log are such
// files: what a run counts must survive a crash, and the window's thread
// must not wait for a disk.
//
// The file is made new (O_EXCL: an existing name is never taken over, nor a
// link followed), readable and writable by its user alone; or an earlier
// one is gone on with (a run restored after a crash), when it is still the
// user's own regular file with no other name and, for a run's numbers, the
// very file its record counted, as counted. A failure to make or write it is
// told by the writer (its channel); what was handed over after it is kept
// for a retry, never lost.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "harvest/file_identity.h"
#include "harvest/writer_thread.h"

namespace harvest {

// Where the bytes go: a file made new, or an earlier file gone on with.
// With `counted`, only that file as counted is: what lies past the count is
// what the writer left after it (whole lines of digits a crash kept from
// their record part, and a line a full disk cut short), cut off; anything
// else leaves the file as it is.
struct NewFile {};
struct EarlierFile {
  std::optional<CountedFile> counted;
};

class DurableAppender {
 public:
  // NewFile makes `path`, or, when that name is taken, the first free one
  // of "stem-2.ext", "stem-3.ext"... beside it; the folder is made when
  // missing, a level at a time, never through a link another user could
  // have put at any level (OpenFolderMakingLevels). EarlierFile appends to
  // `path`; a missing, untrusted or changed file leaves Path() empty and
  // tells nothing (the caller makes a new one).
  DurableAppender(const std::filesystem::path& path, WriterThread& writer, NewFile);
  DurableAppender(const std::filesystem::path& path, WriterThread& writer, EarlierFile earlier);
  // The file is closed once everything handed over is written; nothing waits.
  ~DurableAppender();
  DurableAppender(const DurableAppender&) = delete;
  DurableAppender& operator=(const DurableAppender&) = delete;

  // The file actually made or gone on with; empty when none.
  const std::filesystem::path& Path() const { return path_; }
  const FileIdentity& Identity() const { return identity_; }
  // The file's length once everything handed over is written.
  std::uint64_t Length() const { return length_; }
  // Hands `bytes` to the writing thread.
  void Append(std::string bytes);
  // Hands the lines over, each ended with CR LF.
  void AppendLines(const std::vector<std::string>& lines);
  // The calling thread's CPU time in the last AppendLines (for the benchmarks).
  std::chrono::nanoseconds LastAppendCpu() const { return lastAppendCpu_; }
  // The writer's channel its bytes go through, whose failure is this file's;
  // none before the file was tried.
  WriterThread::Channel Channel() const { return channel_; }
  // What the file has on disk, and what is kept unwritten.
  WriterThread::OnDisk Disk() const { return writer_.Disk(channel_); }
  // Waits until everything handed over is on disk or has failed (tests).
  void Flush() { writer_.Flush(); }
  // The first failure, as a file error's message ("Disk full"...), once.
  std::optional<std::string> TakeFailure() { return writer_.TakeFailure(channel_); }

 private:
  void MakeNew(const std::filesystem::path& path);
  void OpenEarlier(const std::filesystem::path& path, const std::optional<CountedFile>& counted);
  // Gives the open file to the writer (or a failed channel for `err`).
  void Hand(int fd, const std::filesystem::path& path, std::uint32_t crc, int err);

  WriterThread& writer_;
  WriterThread::Channel channel_ = 0;
  std::filesystem::path path_;
  FileIdentity identity_;
  std::uint64_t length_ = 0;
  std::chrono::nanoseconds lastAppendCpu_{0};
};

// The identity of an open file; none when it cannot be had.
std::optional<FileIdentity> IdentityOf(int fd);

}  // namespace harvest
