#include "harvest/writer_thread.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "harvest/crc32.h"
#include "harvest/errors.h"
#include "harvest/posix_file.h"

namespace harvest {
namespace {

// Writes `bytes` at the end of `fd` and flushes them: 0 or the errno.
int WriteAndFlush(int fd, std::string_view bytes) {
  if (const int err = WriteAllTo(fd, bytes)) return err;
  return ::fdatasync(fd) == 0 ? 0 : errno;
}

}  // namespace

WriterThread::WriterThread(FailureHandler onFailure)
    : onFailure_(std::move(onFailure)), thread_([this] { Run(); }) {}

WriterThread::~WriterThread() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
  for (const ChannelState& state : channels_) {
    if (state.fd >= 0) ::close(state.fd);
  }
}

WriterThread::Channel WriterThread::Open(int fd, std::uint64_t length, std::uint32_t crc) {
  const std::lock_guard lock(mutex_);
  ChannelState& state = channels_.emplace_back();
  state.fd = fd;
  state.length = length;
  state.crc = crc;
  return channels_.size() - 1;
}

WriterThread::Channel WriterThread::OpenFailed(int posixErrno) {
  Channel channel = 0;
  std::optional<std::string> failure;
  {
    const std::lock_guard lock(mutex_);
    channels_.emplace_back();
    channel = channels_.size() - 1;
    failure = FailLocked(channels_.back(), posixErrno);
  }
  Tell(channel, failure);
  return channel;
}

void WriterThread::Hand(Job job) {
  {
    const std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void WriterThread::Append(Channel channel, std::string bytes) {
  if (bytes.empty()) return;
  Hand({Job::Kind::kBytes, channel, std::move(bytes), {}, {}, {}});
}

void WriterThread::AppendBuilt(Channel channel, Builder build) {
  Hand({Job::Kind::kBuilt, channel, {}, std::move(build), {}, {}});
}

void WriterThread::Replace(Channel channel, std::function<int(int& fd)> work) {
  {
    const std::lock_guard lock(mutex_);
    ++channels_.at(channel).replacesToDo;
  }
  Hand({Job::Kind::kReplace, channel, {}, {}, std::move(work), {}});
}

void WriterThread::WhenWritten(std::function<void()> done) {
  Hand({Job::Kind::kDone, 0, {}, {}, {}, std::move(done)});
}

void WriterThread::Close(Channel channel) {
  Hand({Job::Kind::kClose, channel, {}, {}, {}, {}});
}

void WriterThread::Retry(Channel channel) {
  Hand({Job::Kind::kRetry, channel, {}, {}, {}, {}});
}

void WriterThread::Flush() {
  std::unique_lock lock(mutex_);
  drained_.wait(lock, [this] { return jobs_.empty() && !working_; });
}

std::optional<std::string> WriterThread::FailLocked(ChannelState& state, int posixErrno) {
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
  const ChannelState& state = channels_.at(channel);
  return state.failed && state.replacesToDo == 0;
}

std::optional<std::string> WriterThread::TakeFailure(Channel channel) {
  const std::lock_guard lock(mutex_);
  return std::exchange(channels_.at(channel).failure, std::nullopt);
}

WriterThread::OnDisk WriterThread::Disk(Channel channel) const {
  const std::lock_guard lock(mutex_);
  const ChannelState& state = channels_.at(channel);
  return {state.length, state.crc, state.unwritten};
}

void WriterThread::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping, everything written
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    // The same file's next bytes, up to the first job of another kind or
    // file: one write, one flush, and the order between files kept.
    while (job.kind == Job::Kind::kBytes && !jobs_.empty() &&
           jobs_.front().kind == Job::Kind::kBytes && jobs_.front().channel == job.channel) {
      job.bytes += jobs_.front().bytes;
      jobs_.pop_front();
    }
    working_ = true;
    const auto failure = Do(job, lock);
    if (failure) {
      // Told outside the lock, before Flush may return.
      lock.unlock();
      Tell(failure->first, failure->second);
      lock.lock();
    }
    working_ = false;
    if (jobs_.empty()) drained_.notify_all();
  }
}

std::optional<std::pair<WriterThread::Channel, std::string>> WriterThread::Do(
    Job& job, std::unique_lock<std::mutex>& lock) {
  const Channel channel = job.channel;
  const auto failed = [&](int err) -> std::optional<std::pair<Channel, std::string>> {
    if (auto failure = FailLocked(channels_[channel], err)) return std::pair(channel, *failure);
    return std::nullopt;
  };
  switch (job.kind) {
    case Job::Kind::kDone:
      lock.unlock();
      job.done();
      lock.lock();
      return std::nullopt;
    case Job::Kind::kClose: {
      const int fd = std::exchange(channels_[channel].fd, -1);
      lock.unlock();
      if (fd >= 0) ::close(fd);
      lock.lock();
      return std::nullopt;
    }
    case Job::Kind::kReplace: {
      // A new try: a failure now is told again.
      channels_[channel].failed = false;
      channels_[channel].failure.reset();
      int fd = channels_[channel].fd;
      const int old = fd;
      lock.unlock();
      const int err = job.replace(fd);
      lock.lock();
      ChannelState& state = channels_[channel];
      --state.replacesToDo;
      if (err != 0) return failed(err);
      state.fd = fd;
      if (fd != old && old >= 0) ::close(old);
      // The file is whole again: what it was kept waiting is in it.
      state.failed = false;
      state.failure.reset();
      state.unwritten.clear();
      const off_t end = ::lseek(fd, 0, SEEK_END);
      state.length = end > 0 ? static_cast<std::uint64_t>(end) : 0;
      state.crc = 0;  // a replaced file is not known by its CRC
      return std::nullopt;
    }
    case Job::Kind::kRetry: {
      ChannelState& state = channels_[channel];
      if (!state.failed) return std::nullopt;
      state.failed = false;
      state.failure.reset();
      job.bytes = std::exchange(state.unwritten, {});
      // What a write cut short left past the file's length goes first.
      if (::ftruncate(state.fd, static_cast<off_t>(state.length)) != 0) {
        const int err = errno;
        state.unwritten = std::move(job.bytes);
        return failed(err);
      }
      break;
    }
    case Job::Kind::kBuilt:
      lock.unlock();
      job.bytes = job.build(*this);
      lock.lock();
      break;
    case Job::Kind::kBytes:
      break;
  }
  ChannelState& state = channels_[channel];
  if (job.bytes.empty()) return std::nullopt;
  if (state.failed || state.fd < 0) {
    state.unwritten += job.bytes;  // kept, in order, for a retry
    return std::nullopt;
  }
  const int fd = state.fd;
  lock.unlock();
  const int err = WriteAndFlush(fd, job.bytes);
  lock.lock();
  ChannelState& after = channels_[channel];
  if (err != 0) {
    // Nothing of these bytes counts as written: a retry cuts the file back
    // and writes them whole.
    after.unwritten = std::move(job.bytes) + after.unwritten;
    return failed(err);
  }
  after.length += job.bytes.size();
  after.crc = Crc32(job.bytes, after.crc);
  return std::nullopt;
}

}  // namespace harvest
