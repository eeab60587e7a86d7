#pragma once
// A file that only grows, written on a thread of its own: the caller hands
// over bytes and goes on; the thread appends them in order and flushes each
// batch to the device (fdatasync) before it takes the next. The run's own
// numbers file is one: what a run counts must survive a crash, and the
// window's thread must not wait for a disk.
//
// The file is made new (O_EXCL: an existing name is never taken over, nor a
// link followed), readable and writable by its user alone; or an earlier
// one is gone on with (a run restored after a crash), when it is still the
// user's own regular file with no other name. A failure to make or write it
// is told once (TakeFailure); nothing is written after it.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace harvest {

enum class AppendTo { kNewFile, kExistingFile };

class DurableAppender {
 public:
  // kNewFile makes `path`, or, when that name is taken, the first free one
  // of "stem-2.ext", "stem-3.ext"... beside it; the folder is made when
  // missing. kExistingFile appends to `path` as it is; a missing or untrusted
  // file leaves Path() empty and tells nothing (the caller makes a new one).
  explicit DurableAppender(const std::filesystem::path& path, AppendTo to = AppendTo::kNewFile);
  // Waits until everything handed over is on disk (or has failed).
  ~DurableAppender();
  DurableAppender(const DurableAppender&) = delete;
  DurableAppender& operator=(const DurableAppender&) = delete;

  // The file actually made; empty when it could not be.
  const std::filesystem::path& Path() const { return path_; }
  // Hands `bytes` to the writing thread; nothing after a failure.
  void Append(std::string bytes);
  // Hands the lines over, each ended with CR LF.
  void AppendLines(const std::vector<std::string>& lines);
  // The calling thread's CPU time in the last AppendLines (for the benchmarks).
  std::chrono::nanoseconds LastAppendCpu() const { return lastAppendCpu_; }
  // Waits until everything handed over is on disk (or has failed).
  void Flush();
  // The first failure, as a file error's message ("Disk full"...), once.
  std::optional<std::string> TakeFailure();

 private:
  void MakeNew(const std::filesystem::path& path);
  void OpenExisting(const std::filesystem::path& path);
  void Write();

  std::filesystem::path path_;
  int fd_ = -1;
  std::chrono::nanoseconds lastAppendCpu_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable drained_;
  std::deque<std::string> pending_;
  bool writing_ = false;  // a batch is being written
  bool stopping_ = false;
  bool failed_ = false;
  std::optional<std::string> failure_;
  std::thread writer_;
};

}  // namespace harvest
