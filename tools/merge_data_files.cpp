#include "tools/merge_data_files.h"

#include <sys/stat.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include "harvest/errors.h"
#include "harvest/posix_file.h"
#include "tools/sorted_lines.h"

namespace tools {
namespace {

constexpr std::uint64_t kBytesPerReport = 1 << 20;

std::uint64_t TotalSize(const std::vector<harvest::FilePath>& inputs) {
  std::uint64_t total = 0;
  for (const harvest::FilePath& input : inputs) {
    struct stat info {};
    if (::stat(input.native.c_str(), &info) == 0 && S_ISREG(info.st_mode))
      total += static_cast<std::uint64_t>(info.st_size);
  }
  return total;
}

// Appends every selected file to the content, up to the first file that
// cannot be opened or read, whose error it answers. Failures of the
// content itself (memory, the runs on disk) are raised at once.
std::exception_ptr CopyPhase(const std::vector<harvest::FilePath>& inputs, SortedLines& content,
                             const std::function<void(std::uint64_t)>& read) {
  std::uint64_t bytes = 0;
  std::uint64_t nextReport = kBytesPerReport;
  for (const harvest::FilePath& input : inputs) {
    harvest::PosixFile file;
    if (file.OpenForReading(input.native) != 0)
      return std::make_exception_ptr(harvest::FileOpenError(input.text));
    for (;;) {
      // Straight into the content's own block, a buffer's worth at a time.
      const long n = file.Read(content.ReadRoom(kCopyBufferSize), kCopyBufferSize);
      if (n < 0) return std::make_exception_ptr(harvest::StreamReadError());
      if (n == 0) break;
      content.Filled(static_cast<std::size_t>(n));
      bytes += static_cast<std::uint64_t>(n);
      if (bytes >= nextReport) {
        nextReport = bytes + kBytesPerReport;
        read(bytes);
      }
    }
    read(bytes);
  }
  return nullptr;
}

// Writes buffers to the file in order on a thread of its own while the next
// one is filled, so formatting and copying into the file overlap. Where no
// thread can be had, buffers are written as they come.
class BackgroundWriter {
 public:
  struct Buffer {
    std::unique_ptr<char[]> bytes;
    std::size_t used = 0;
  };
  static constexpr std::size_t kBufferBytes = 1 << 20;

  explicit BackgroundWriter(harvest::ReplacingWriter& writer) : writer_(writer) {}
  ~BackgroundWriter() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  Buffer NewBuffer() {
    const std::lock_guard lock(mutex_);
    if (!spare_.empty()) {
      Buffer buffer = std::move(spare_.back());
      spare_.pop_back();
      return buffer;
    }
    return Buffer{std::unique_ptr<char[]>(new char[kBufferBytes]), 0};
  }

  // Takes the buffer over; at most two wait to be written.
  void Write(Buffer buffer) {
    if (!threadTried_) Start();
    if (!thread_.joinable()) {
      Direct(std::string_view(buffer.bytes.get(), buffer.used));
      buffer.used = 0;
      spare_.push_back(std::move(buffer));
      return;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < 2 || error_; });
    if (error_) std::rethrow_exception(error_);
    queue_.push_back(std::move(buffer));
    lock.unlock();
    changed_.notify_all();
  }

  // Waits until all is written; raises a failure of the writing.
  void Drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return (queue_.empty() && !busy_) || error_; });
    if (error_) std::rethrow_exception(error_);
  }

  // Writes from this thread, after all that came before.
  void WriteNow(std::string_view bytes) {
    Drain();
    Direct(bytes);
  }

 private:
  void Direct(std::string_view bytes) {
    if (writer_.Write(bytes) != 0) throw harvest::StreamWriteError();
  }

  void Start() {
    threadTried_ = true;
    try {
      thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
      // Written as they come.
    }
  }

  void Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;  // all was drained, or the merge failed
      Buffer buffer = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
      lock.unlock();
      const bool written = error_ == nullptr &&
                           writer_.Write(std::string_view(buffer.bytes.get(), buffer.used)) == 0;
      lock.lock();
      if (!written && !error_) error_ = std::make_exception_ptr(harvest::StreamWriteError());
      buffer.used = 0;
      spare_.push_back(std::move(buffer));
      busy_ = false;
      changed_.notify_all();
    }
  }

  harvest::ReplacingWriter& writer_;
  std::thread thread_;
  bool threadTried_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Buffer> queue_;
  std::vector<Buffer> spare_;
  bool busy_ = false;
  bool stopping_ = false;
  std::exception_ptr error_;
};

// Formats the lines with CR LF into megabyte buffers for the writer.
class OutputSink final : public LineSink {
 public:
  explicit OutputSink(harvest::ReplacingWriter& writer)
      : writer_(writer), buffer_(writer_.NewBuffer()) {}

  void Digits(const DigitBlock& block, std::size_t from, std::size_t to) override {
    while (from < to) {
      char* const begin = buffer_.bytes.get();
      buffer_.used = static_cast<std::size_t>(
          FormatLinesCrLf(block, from, to, begin + buffer_.used, begin + kBufferBytes) - begin);
      if (from < to) Flush();
    }
  }
  void Text(std::string_view line) override {
    if (buffer_.used + line.size() + 2 > kBufferBytes) {
      Flush();
      if (line.size() + 2 > kBufferBytes) {
        writer_.WriteNow(line);
        writer_.WriteNow("\r\n");
        return;
      }
    }
    char* at = buffer_.bytes.get() + buffer_.used;
    std::memcpy(at, line.data(), line.size());
    at[line.size()] = '\r';
    at[line.size() + 1] = '\n';
    buffer_.used += line.size() + 2;
  }
  void Flush() {
    if (buffer_.used == 0) return;
    writer_.Write(std::move(buffer_));
    buffer_ = writer_.NewBuffer();
  }
  // Everything is in the file, or the writing's failure is raised.
  void Finish() {
    Flush();
    writer_.Drain();
  }

 private:
  static constexpr std::size_t kBufferBytes = BackgroundWriter::kBufferBytes;

  BackgroundWriter writer_;
  BackgroundWriter::Buffer buffer_;
};

std::int64_t Merge(const std::vector<harvest::FilePath>& inputs, const harvest::FilePath& output,
                   LineCollation& collation, const MergeOptions& options) {
  // Make sure the output can be written before any selected file is read.
  harvest::ReplacingWriter writer;
  if (writer.Begin(output.native) != 0) throw harvest::FileCreateError(output.text);

  const std::uint64_t total = TotalSize(inputs);
  auto report = [&](MergePhase phase, std::uint64_t done) {
    if (options.progress) options.progress(MergeProgress{phase, done, total});
  };
  SortedLines::Options sorting;
  sorting.memoryBudget = options.memoryBudget;
  sorting.runsBeside = output.native;
  sorting.temporary = options.temporary;
  sorting.progress = [&](MergePhase phase, double share) {
    report(phase, static_cast<std::uint64_t>(share * static_cast<double>(total)));
  };
  SortedLines content(collation, std::move(sorting));

  report(MergePhase::kReading, 0);
  // A file that cannot be read ends the reading; what was read is still
  // sorted and written, and then the error is reported.
  const std::exception_ptr copyError =
      CopyPhase(inputs, content, [&](std::uint64_t bytes) { report(MergePhase::kReading, bytes); });

  OutputSink out(writer);
  const std::int64_t count = content.Emit(out);
  out.Finish();
  bool failedAtRename = false;
  if (writer.Commit(&failedAtRename) != 0) {
    if (failedAtRename) throw harvest::FileCreateError(output.text);
    throw harvest::StreamWriteError();
  }
  report(MergePhase::kWriting, total);

  if (options.sorted) options.sorted(count);
  if (copyError) std::rethrow_exception(copyError);
  return count;
}

}  // namespace

std::int64_t MergeDataFiles(const std::vector<harvest::FilePath>& inputs,
                            const harvest::FilePath& output, LineCollation& collation,
                            const MergeOptions& options) {
  // Memory runs short where the content is held or its keys computed, on
  // this thread or another one; the error reaches the caller in the
  // program's own terms, after the writer has removed its temporary file.
  try {
    return Merge(inputs, output, collation, options);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
}

std::int64_t MergeDataFiles(const std::vector<harvest::FilePath>& inputs,
                            const harvest::FilePath& output, LineCollation& collation,
                            const std::function<void(std::int64_t)>& sorted) {
  MergeOptions options;
  options.sorted = sorted;
  return MergeDataFiles(inputs, output, collation, options);
}

}  // namespace tools
