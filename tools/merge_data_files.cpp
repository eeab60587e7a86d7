#include "tools/merge_data_files.h"

#include <exception>
#include <new>
#include <string>

#include "harvest/errors.h"
#include "harvest/posix_file.h"
#include "tools/sorted_lines.h"

namespace tools {
namespace {

// Appends every selected file to the content, up to the first failure,
// which it raises.
void CopyPhase(const std::vector<harvest::FilePath>& inputs, SortedLines& content) {
  std::string buffer(kCopyBufferSize, '\0');
  for (const harvest::FilePath& input : inputs) {
    harvest::PosixFile file;
    if (file.OpenForReading(input.native) != 0) throw harvest::EFOpenError(input.text);
    for (;;) {
      const long n = file.Read(buffer.data(), buffer.size());
      if (n < 0) throw harvest::EReadError();
      if (n == 0) break;
      content.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
  }
}

// Collects output bytes and hands them to the file in large writes.
class OutputBuffer {
 public:
  explicit OutputBuffer(harvest::ReplacingWriter& writer) : writer_(writer) { bytes_.reserve(kFlushAt + 4096); }
  void Line(std::string_view line) {
    bytes_.append(line);
    bytes_.append("\r\n");
    if (bytes_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    if (writer_.Write(bytes_) != 0) throw harvest::EWriteError();
    bytes_.clear();
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;
  harvest::ReplacingWriter& writer_;
  std::string bytes_;
};

std::int64_t Merge(const std::vector<harvest::FilePath>& inputs, const harvest::FilePath& output,
                   LineCollation& collation, const std::function<void(std::int64_t)>& sorted) {
  // Make sure the output can be written before any selected file is read.
  harvest::ReplacingWriter writer;
  if (writer.Begin(output.native) != 0) throw harvest::EFCreateError(output.text);

  SortedLines content;
  std::exception_ptr copyError;
  try {
    CopyPhase(inputs, content);
  } catch (const harvest::Exception&) {
    copyError = std::current_exception();  // sort what was read, then report it
  }

  OutputBuffer out(writer);
  const std::int64_t count = content.Emit(collation, [&out](std::string_view line) { out.Line(line); });
  out.Flush();
  bool failedAtRename = false;
  if (writer.Commit(&failedAtRename) != 0) {
    if (failedAtRename) throw harvest::EFCreateError(output.text);
    throw harvest::EWriteError();
  }

  if (sorted) sorted(count);
  if (copyError) std::rethrow_exception(copyError);
  return count;
}

}  // namespace

std::int64_t MergeDataFiles(const std::vector<harvest::FilePath>& inputs,
                            const harvest::FilePath& output, LineCollation& collation,
                            const std::function<void(std::int64_t)>& sorted) {
  // Memory runs short where the content is held or its keys computed, on
  // this thread or the second one; the error reaches the caller in the
  // program's own terms, after the writer has removed its temporary file.
  try {
    return Merge(inputs, output, collation, sorted);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
}

}  // namespace tools
