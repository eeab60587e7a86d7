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
// user's own regular file with no other name. A failure to make or write it
// is told once (TakeFailure); nothing is written after it.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "harvest/writer_thread.h"

namespace harvest {

// Where the bytes go: a file made new, or an earlier file gone on with,
// its first `length` bytes kept when it is longer (none: all of it).
struct NewFile {};
struct EarlierFile {
  std::optional<std::uint64_t> length;
};

class DurableAppender {
 public:
  // NewFile makes `path`, or, when that name is taken, the first free one
  // of "stem-2.ext", "stem-3.ext"... beside it; the folder is made when
  // missing, a level at a time, never through a link another user could
  // have put at any level (OpenFolderMakingLevels). EarlierFile appends to
  // `path`; a missing or untrusted file leaves Path() empty and tells
  // nothing (the caller makes a new one).
  DurableAppender(const std::filesystem::path& path, WriterThread& writer, NewFile);
  DurableAppender(const std::filesystem::path& path, WriterThread& writer, EarlierFile earlier);
  // Waits until everything handed over is on disk (or has failed).
  ~DurableAppender();
  DurableAppender(const DurableAppender&) = delete;
  DurableAppender& operator=(const DurableAppender&) = delete;

  // The file actually made; empty when it could not be.
  const std::filesystem::path& Path() const { return path_; }
  // The file's length once everything handed over is written.
  std::uint64_t Length() const { return length_; }
  // Hands `bytes` to the writing thread; nothing after a failure.
  void Append(std::string bytes);
  // Hands the lines over, each ended with CR LF.
  void AppendLines(const std::vector<std::string>& lines);
  // The calling thread's CPU time in the last AppendLines (for the benchmarks).
  std::chrono::nanoseconds LastAppendCpu() const { return lastAppendCpu_; }
  // Waits until everything handed over is on disk (or has failed).
  void Flush() { writer_.Flush(); }
  // The first failure, as a file error's message ("Disk full"...), once.
  std::optional<std::string> TakeFailure() { return writer_.TakeFailure(channel_); }
  // The writer's channel its bytes go through, whose failure is this file's.
  WriterThread::Channel Channel() const { return channel_; }

 private:
  void MakeNew(const std::filesystem::path& path);
  void OpenEarlier(const std::filesystem::path& path, std::optional<std::uint64_t> length);

  WriterThread& writer_;
  WriterThread::Channel channel_;
  std::filesystem::path path_;
  int fd_ = -1;
  std::uint64_t length_ = 0;
  std::chrono::nanoseconds lastAppendCpu_{0};
};

}  // namespace harvest
