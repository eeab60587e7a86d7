#include "tools/merge_data_files.h"

#include <sys/stat.h>

#include <cstring>
#include <exception>
#include <new>
#include <string>

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

// Appends every selected file to the content, up to the first failure,
// which it raises.
void CopyPhase(const std::vector<harvest::FilePath>& inputs, SortedLines& content,
               const std::function<void(std::uint64_t)>& read) {
  std::uint64_t bytes = 0;
  std::uint64_t nextReport = kBytesPerReport;
  for (const harvest::FilePath& input : inputs) {
    harvest::PosixFile file;
    if (file.OpenForReading(input.native) != 0) throw harvest::EFOpenError(input.text);
    for (;;) {
      // Straight into the content's own block, a buffer's worth at a time.
      const long n = file.Read(content.ReadRoom(kCopyBufferSize), kCopyBufferSize);
      if (n < 0) throw harvest::EReadError();
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

// Formats the lines with CR LF into a large buffer and hands it to the file
// a megabyte at a time.
class OutputSink final : public LineSink {
 public:
  explicit OutputSink(harvest::ReplacingWriter& writer)
      : writer_(writer), buffer_(kBufferBytes, '\0') {}

  void Digits(const DigitBlock& block, std::size_t from, std::size_t to) override {
    while (from < to) {
      char* const begin = buffer_.data();
      used_ = static_cast<std::size_t>(
          FormatLinesCrLf(block, from, to, begin + used_, begin + buffer_.size()) - begin);
      if (from < to) Flush();
    }
  }
  void Text(std::string_view line) override {
    if (used_ + line.size() + 2 > buffer_.size()) {
      Flush();
      if (line.size() + 2 > buffer_.size()) {
        Write(line);
        Write("\r\n");
        return;
      }
    }
    std::memcpy(buffer_.data() + used_, line.data(), line.size());
    used_ += line.size();
    buffer_[used_++] = '\r';
    buffer_[used_++] = '\n';
  }
  void Flush() {
    Write(std::string_view(buffer_.data(), used_));
    used_ = 0;
  }

 private:
  static constexpr std::size_t kBufferBytes = 1 << 20;

  void Write(std::string_view bytes) {
    if (writer_.Write(bytes) != 0) throw harvest::EWriteError();
  }

  harvest::ReplacingWriter& writer_;
  std::string buffer_;
  std::size_t used_ = 0;
};

std::int64_t Merge(const std::vector<harvest::FilePath>& inputs, const harvest::FilePath& output,
                   LineCollation& collation, const MergeOptions& options) {
  // Make sure the output can be written before any selected file is read.
  harvest::ReplacingWriter writer;
  if (writer.Begin(output.native) != 0) throw harvest::EFCreateError(output.text);

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
  std::exception_ptr copyError;
  try {
    CopyPhase(inputs, content, [&](std::uint64_t bytes) { report(MergePhase::kReading, bytes); });
  } catch (const harvest::Exception&) {
    copyError = std::current_exception();  // sort what was read, then report it
  }

  OutputSink out(writer);
  const std::int64_t count = content.Emit(out);
  out.Flush();
  bool failedAtRename = false;
  if (writer.Commit(&failedAtRename) != 0) {
    if (failedAtRename) throw harvest::EFCreateError(output.text);
    throw harvest::EWriteError();
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
