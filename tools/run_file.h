#pragma once
// Sorted runs: when the content outgrows the memory budget, what is held is
// sorted and written out as a run, and the runs are merged at the end.
//
// All runs of a merge live in one temporary file in the output's folder,
// one after the other. The file has no name (O_TMPFILE): it vanishes when
// the merge ends, however it ends, a kill included. Where the file system
// has no unnamed files it is created under a name beside the output,
// `<output>.tmp<PID>-<N>`, and that name is removed at once; should the
// process die in between, the next write of the output removes it, as it
// does the replacing writer's own temporaries.
//
// A run holds its digit lines, 9 bytes each (the number, little-endian, and
// the length), then its other lines, each as its key prefix, its bytes and
// LF. Both parts are in order and hold no repeats.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "tools/ordered_merge.h"

namespace tools {

class RunFile {
 public:
  enum class Temporary { Unnamed, Named };

  // A temporary file beside `output`; "Stream write error" when none can be
  // made. `preferred` Named skips the unnamed file, as a file system
  // without one does.
  explicit RunFile(const std::filesystem::path& output, Temporary preferred = Temporary::Unnamed);
  ~RunFile();
  RunFile(const RunFile&) = delete;
  RunFile& operator=(const RunFile&) = delete;

  std::uint64_t Size() const { return size_; }
  // Appends at the end; "Stream write error" when the bytes cannot all be written.
  void Append(std::string_view bytes);
  // "Stream read error" when fewer bytes are there.
  void Read(std::uint64_t offset, char* buffer, std::size_t size) const;
  // Gives the disk space of bytes no longer needed back, where the file
  // system can.
  void Discard(std::uint64_t offset, std::uint64_t length);

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

struct Run {
  std::uint64_t digitsAt = 0;
  std::uint64_t digitLines = 0;
  std::uint64_t textAt = 0;
  std::uint64_t textBytes = 0;
  std::uint64_t textLines = 0;

  std::uint64_t Lines() const { return digitLines + textLines; }
  std::uint64_t End() const { return textAt + textBytes; }
};

// Writes both sources to the end of `file` as one run, through a buffer of
// `bufferBytes`.
Run WriteRun(RunFile& file, DigitSource& digits, TextSource& texts, std::size_t bufferBytes);

// A run's parts read back, each through a buffer of about `bufferBytes`.
std::unique_ptr<DigitSource> ReadRunDigits(const RunFile& file, const Run& run,
                                           std::size_t bufferBytes);
std::unique_ptr<TextSource> ReadRunText(const RunFile& file, const Run& run,
                                        std::size_t bufferBytes);

}  // namespace tools
