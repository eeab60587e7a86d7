#pragma once
// One thread that appends bytes to files and flushes them to the device
// (fdatasync), in the order they were handed over, so that the caller's
// thread never waits for a disk. The files of a run share it: the run's
// numbers reach the disk before the recovery record's part that counts them,
// and a part is built when its turn comes, from what the numbers file then
// has on disk (OnDisk), so that a record never names a number its run file
// lacks.
//
// Each file is a channel that owns its descriptor (closed by the thread once
// everything before the close is written). A channel that cannot be written
// fails alone while the others go on: it keeps what it was handed, in order,
// without writing it, and tells its first failure once: to the failure
// handler the moment it happens (on the thread that met it), and to
// TakeFailure. Retry cuts the file back to what is on disk (a write cut
// short leaves no half line) and writes what it kept.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace harvest {

class WriterThread {
 public:
  using Channel = std::size_t;
  // Told a channel's first failure since it was opened or last retried, as
  // a file error's message ("Disk full"...), on the writer's thread or the
  // caller's; it must not call back into this object.
  using FailureHandler = std::function<void(Channel channel, const std::string& message)>;

  // What a channel's file has on disk, and what it was handed but has not
  // written.
  struct OnDisk {
    std::uint64_t length = 0;  // bytes in the file, written and flushed
    std::uint32_t crc = 0;     // CRC-32 of those bytes
    std::string unwritten;     // handed over after them, not written (failed)
  };

  explicit WriterThread(FailureHandler onFailure = {});
  // Writes everything handed over, closes the channels' files, then ends.
  ~WriterThread();
  WriterThread(const WriterThread&) = delete;
  WriterThread& operator=(const WriterThread&) = delete;

  // A channel writing to `fd` (from now on the thread's to close), whose file
  // holds `length` bytes with CRC-32 `crc` now.
  Channel Open(int fd, std::uint64_t length = 0, std::uint32_t crc = 0);
  // A channel whose file could not be made: failed from the start, with
  // `posixErrno` told as its failure.
  Channel OpenFailed(int posixErrno);

  // Hands `bytes` over to be appended and flushed; kept unwritten once the
  // channel has failed. Bytes handed one after another to the same channel
  // go in one write and one flush.
  void Append(Channel channel, std::string bytes);
  // Bytes built on the thread when their turn comes (after everything
  // handed over before them), from what the other channels have on disk
  // then; appended as Append's.
  using Builder = std::function<std::string(const WriterThread& writer)>;
  void AppendBuilt(Channel channel, Builder build);
  // Runs `work` on the thread in its turn, with the channel's descriptor;
  // `work` may put another descriptor in its place (which the thread then
  // owns), or return an errno that fails the channel.
  void Replace(Channel channel, std::function<int(int& fd)> work);
  // Runs `done` on the thread once everything handed over before it has
  // been written or has failed.
  void WhenWritten(std::function<void()> done);
  // Closes the channel's file once what was handed over before is written.
  void Close(Channel channel);
  // Cuts a failed channel's file back to what is on disk and writes what it
  // kept; a failure then is told again.
  void Retry(Channel channel);

  // Waits until everything handed over is on disk or has failed (tests, and
  // a program that ends at once).
  void Flush();

  // Whether the channel has failed, and no Replace that may mend it is still
  // to be done.
  bool Failed(Channel channel) const;
  // The channel's first failure, as a file error's message, once.
  std::optional<std::string> TakeFailure(Channel channel);
  // What the channel's file has on disk now. Safe from any thread.
  OnDisk Disk(Channel channel) const;

 private:
  struct Job {
    enum class Kind { kBytes, kBuilt, kReplace, kDone, kClose, kRetry } kind;
    Channel channel;
    std::string bytes;
    Builder build;
    std::function<int(int&)> replace;
    std::function<void()> done;
  };
  struct ChannelState {
    int fd = -1;
    bool failed = false;
    std::optional<std::string> failure;  // the first failure, until taken
    std::uint64_t length = 0;            // on disk
    std::uint32_t crc = 0;               // of what is on disk
    std::string unwritten;               // kept since the failure
    int replacesToDo = 0;                // Replace jobs handed over, not yet done
  };

  void Hand(Job job);
  void Run();
  // Does one job, the lock released while it writes; the failure to tell.
  std::optional<std::pair<Channel, std::string>> Do(Job& job, std::unique_lock<std::mutex>& lock);
  std::optional<std::string> FailLocked(ChannelState& state, int posixErrno);
  void Tell(Channel channel, const std::optional<std::string>& failure) const;

  const FailureHandler onFailure_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable drained_;
  std::deque<Job> jobs_;
  std::vector<ChannelState> channels_;
  bool working_ = false;  // a job is being done
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace harvest
