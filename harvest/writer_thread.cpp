#include "harvest/writer_thread.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "harvest/errors.h"
#include "harvest/posix_file.h"

namespace harvest {

WriterThread::WriterThread(FailureHandler onFailure)
    : onFailure_(std::move(onFailure)), thread_([this] { Run(); }) {}

WriterThread::~WriterThread() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

WriterThread::Channel WriterThread::Open() {
  const std::lock_guard lock(mutex_);
  channels_.emplace_back();
  return channels_.size() - 1;
}

void WriterThread::Append(Channel channel, int fd, std::string bytes) {
  if (bytes.empty()) return;
  {
    const std::lock_guard lock(mutex_);
    if (channels_.at(channel).failed) return;
    jobs_.push_back({channel, fd, std::move(bytes)});
  }
  wake_.notify_one();
}

void WriterThread::Flush() {
  std::unique_lock lock(mutex_);
  drained_.wait(lock, [this] { return jobs_.empty() && !writing_; });
}

void WriterThread::Fail(Channel channel, int posixErrno) {
  std::optional<std::string> failure;
  {
    const std::lock_guard lock(mutex_);
    failure = FailLocked(channel, posixErrno);
  }
  Tell(channel, failure);
}

std::optional<std::string> WriterThread::FailLocked(Channel channel, int posixErrno) {
  ChannelState& state = channels_.at(channel);
  if (state.failed) return std::nullopt;
  state.failed = true;
  state.failure = FileErrorMessage(FileErrorCode(posixErrno));
  return state.failure;
}

void WriterThread::Tell(Channel channel, const std::optional<std::string>& failure) const {
  if (failure && onFailure_) onFailure_(channel, *failure);
}

bool WriterThread::Failed(Channel channel) const {
  const std::lock_guard lock(mutex_);
  return channels_.at(channel).failed;
}

std::optional<std::string> WriterThread::TakeFailure(Channel channel) {
  const std::lock_guard lock(mutex_);
  return std::exchange(channels_.at(channel).failure, std::nullopt);
}

void WriterThread::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping, everything written
    // The next file's bytes, up to the first job of another file: one
    // write, one flush, and the order between files kept.
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    while (!jobs_.empty() && jobs_.front().channel == job.channel && jobs_.front().fd == job.fd) {
      job.bytes += jobs_.front().bytes;
      jobs_.pop_front();
    }
    if (!channels_[job.channel].failed) {  // else failed outside meanwhile
      writing_ = true;
      lock.unlock();
      int err = WriteAllTo(job.fd, job.bytes);
      if (err == 0 && ::fdatasync(job.fd) != 0) err = errno;
      std::optional<std::string> failure;
      lock.lock();
      // A write cut short ends the file: nothing may follow it.
      if (err != 0) failure = FailLocked(job.channel, err);
      if (failure) {
        // Told outside the lock, before Flush may return.
        lock.unlock();
        Tell(job.channel, failure);
        lock.lock();
      }
      writing_ = false;
    }
    if (jobs_.empty()) drained_.notify_all();
  }
}

}  // namespace harvest
