#include "tools/merge_data_files.h"

#include <sys/stat.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

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

// Appends every selected file to the content. A file that cannot be
// opened or read raises its error at once, as do failures of the content
// itself (memory, the runs on disk): nothing has been written yet.
void CopyPhase(const std::vector<harvest::FilePath>& inputs, SortedLines& content,
               const std::function<void(std::uint64_t)>& read) {
  std::uint64_t bytes = 0;
  std::uint64_t nextReport = kBytesPerReport;
  for (const harvest::FilePath& input : inputs) {
    harvest::PosixFile file;
    if (file.OpenForReading(input.native) != 0) throw harvest::FileOpenError(input.text);
    for (;;) {
      // Straight into the content's own block, a buffer's worth at a time.
      const long n = file.Read(content.ReadRoom(kCopyBufferSize), kCopyBufferSize);
      if (n < 0) throw harvest::StreamReadError();
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
}

// Formats the lines with CR LF into two megabyte buffers in turn: while
// one fills here, the other is written to the file on a thread of its own,
// so formatting and writing overlap. Where no thread can be had, a buffer
// is written as soon as it is full.
class OutputSink final : public LineSink {
 public:
  static constexpr std::size_t kBufferBytes = 1 << 20;

  explicit OutputSink(harvest::ReplacingWriter& writer) : writer_(writer) {
    try {
      thread_ = std::thread([this] { WriteLoop(); });
    } catch (const std::system_error&) {
    }
  }
  ~OutputSink() override {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;  // all was written, or the merge failed
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  OutputSink(const OutputSink&) = delete;
  OutputSink& operator=(const OutputSink&) = delete;

  void Digits(const DigitBlock& block, std::size_t from, std::size_t to) override {
    while (from < to) {
      char* const begin = buffers_[filling_].get();
      used_ = static_cast<std::size_t>(
          FormatLinesCrLf(block, from, to, begin + used_, begin + kBufferBytes) - begin);
      if (from < to) Flush();
    }
  }
  void Text(std::string_view line) override {
    if (used_ + line.size() + 2 > kBufferBytes) {
      Flush();
      if (line.size() + 2 > kBufferBytes) {  // longer than a buffer: written as it is
        Finish();
        Write(line);
        Write("\r\n");
        return;
      }
    }
    char* at = buffers_[filling_].get() + used_;
    std::memcpy(at, line.data(), line.size());
    at[line.size()] = '\r';
    at[line.size() + 1] = '\n';
    used_ += line.size() + 2;
  }
  // Hands the filled buffer on, once the other one is written.
  void Flush() {
    if (used_ == 0) return;
    if (!thread_.joinable()) {
      Write(std::string_view(buffers_[filling_].get(), std::exchange(used_, 0)));
      return;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return toWrite_ == 0; });
    if (failed_) throw harvest::StreamWriteError();
    toWrite_ = std::exchange(used_, 0);
    filling_ ^= 1;
    changed_.notify_all();
  }
  // Everything is in the file, or the writing's failure is raised.
  void Finish() {
    Flush();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return toWrite_ == 0; });
    if (failed_) throw harvest::StreamWriteError();
  }

 private:
  void Write(std::string_view bytes) {
    if (writer_.Write(bytes) != 0) throw harvest::StreamWriteError();
  }
  void WriteLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || toWrite_ > 0; });
      if (stopping_) return;
      const std::string_view bytes(buffers_[filling_ ^ 1].get(), toWrite_);
      lock.unlock();
      const bool written = writer_.Write(bytes) == 0;
      lock.lock();
      failed_ = failed_ || !written;
      toWrite_ = 0;
      changed_.notify_all();
    }
  }

  harvest::ReplacingWriter& writer_;
  // Not zeroed: a page costs memory only once lines are written to it.
  std::unique_ptr<char[]> buffers_[2] = {std::unique_ptr<char[]>(new char[kBufferBytes]),
                                         std::unique_ptr<char[]>(new char[kBufferBytes])};
  unsigned filling_ = 0;
  std::size_t used_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t toWrite_ = 0;  // bytes of the other buffer still to be written
  bool failed_ = false;
  bool stopping_ = false;
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
  // A selected file that fails leaves the output as it was: the writer,
  // dropped on the way out, removes its temporary file, and the runs' file
  // goes with the content.
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
    throw OutOfMemoryError();
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
