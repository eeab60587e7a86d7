#pragma once
// One thread that appends bytes to files and flushes them to the device
// (fdatasync), in the order they were handed over, so that the caller's
// thread never waits for a disk. The files of a run share it: the run's
// numbers reach the disk before the recovery record's part that counts them,
// so a record found after a crash never counts a number its run file lacks.
//
// Each file is a channel with a failure of its own: a file that cannot be
// written gets nothing more, while the others go on. Its first failure is
// told once: to the failure handler the moment it happens (on the thread
// that met it), and to TakeFailure. The thread does not own the descriptors; their owners Flush
// before they close one.

#include <condition_variable>
#include <cstddef>
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
  // Told a channel's first failure, as a file error's message ("Disk
  // full"...), on the writer's thread or the caller's; it must not call back
  // into this object.
  using FailureHandler = std::function<void(Channel channel, const std::string& message)>;

  explicit WriterThread(FailureHandler onFailure = {});
  // Writes everything handed over, then ends.
  ~WriterThread();
  WriterThread(const WriterThread&) = delete;
  WriterThread& operator=(const WriterThread&) = delete;

  // A new channel, not failed.
  Channel Open();
  // Hands `bytes` over to be appended to `fd` and flushed; nothing once the
  // channel has failed. Bytes handed one after another to the same channel
  // go in one write and one flush.
  void Append(Channel channel, int fd, std::string bytes);
  // Waits until everything handed over is on disk or has failed.
  void Flush();
  // A failure met outside the thread (a write done on the caller's), as an
  // errno; the first one of a channel is the one told.
  void Fail(Channel channel, int posixErrno);
  bool Failed(Channel channel) const;
  // The channel's first failure, as a file error's message ("Disk full"...),
  // once.
  std::optional<std::string> TakeFailure(Channel channel);

 private:
  struct Job {
    Channel channel;
    int fd;
    std::string bytes;
  };
  struct ChannelState {
    bool failed = false;
    std::optional<std::string> failure;
  };

  void Run();
  // The message to tell when this is the channel's first failure.
  std::optional<std::string> FailLocked(Channel channel, int posixErrno);
  void Tell(Channel channel, const std::optional<std::string>& failure) const;

  const FailureHandler onFailure_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable drained_;
  std::deque<Job> jobs_;
  std::vector<ChannelState> channels_;
  bool writing_ = false;  // a batch is being written
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace harvest
