// The progress file as the disk may hold it: the input is written as the
// file's bytes and restored. What arrives at the target is compared with the
// file's lines as the text-file rules cut them.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "harvest/errors.h"
#include "harvest/progress_file.h"
#include "harvest/text.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// A folder of this process's own for the file, removed at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvane-fuzz-XXXXXX").string();
    fuzz::Require(::mkdtemp(pattern.data()) != nullptr, "a scratch folder can be made");
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct Restored {
  std::optional<std::string> keywordFile;
  std::optional<int> keywordIndex;
  std::optional<bool> deduplicate;
  std::optional<int> interval;
};

class RecordingTarget final : public harvest::ProgressTarget {
 public:
  void RestoreKeywordFile(const std::string& path) override {
    fuzz::Require(steps_ == 0, "the keyword file comes first");
    ++steps_;
    got_.keywordFile = path;
  }
  void RestoreKeywordIndex(int index) override {
    fuzz::Require(steps_ == 1, "the keyword index comes second");
    ++steps_;
    got_.keywordIndex = index;
  }
  void RestoreDeduplicate(bool on) override {
    fuzz::Require(steps_ == 2, "the de-duplication box comes third");
    ++steps_;
    got_.deduplicate = on;
  }
  void RestoreInterval(int seconds) override {
    fuzz::Require(steps_ == 3, "the interval comes last");
    ++steps_;
    got_.interval = seconds;
  }
  const Restored& Got() const { return got_; }

 private:
  int steps_ = 0;
  Restored got_;
};

// The first four lines as the reader gives them: the content ends at the
// first byte 26, lines end at LF, every CR is dropped, and reading past the
// end gives empty lines.
std::vector<std::string> FirstFourLines(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\x1A'));
  std::vector<std::string> lines(4);
  std::size_t line = 0;
  for (const char c : bytes) {
    if (line == lines.size()) break;
    if (c == '\n') {
      ++line;
    } else if (c != '\r') {
      lines[line] += c;
    }
  }
  return lines;
}

// What a restore ought to deliver: each line in turn, up to the first
// number that does not convert.
Restored Expected(std::string_view bytes) {
  const auto lines = FirstFourLines(bytes);
  Restored expected;
  expected.keywordFile = lines[0];
  try {
    expected.keywordIndex = harvest::ParseInteger(lines[1]);
    expected.deduplicate = lines[2] == "qcyes";
    expected.interval = harvest::ParseInteger(lines[3]);
  } catch (const harvest::NotAnIntegerError&) {
  }
  return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ScratchFolder folder;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto path = harvest::FilePath::Ascii((folder.Path() / harvest::kProgressFileName).string());
  {
    // A new file each time: truncating one in place makes ext4 flush it on
    // close, which slows the target down a hundredfold.
    std::filesystem::remove(path.native);
    std::ofstream file(path.native, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    fuzz::Require(file.good(), "the file can be written");
  }

  RecordingTarget target;
  bool complete = false;
  try {
    complete = harvest::RestoreProgressFile(path, target);
  } catch (const harvest::Exception&) {
    // A line that is not a number stops the restore; what came before stays.
  }
  const Restored& got = target.Got();
  const Restored expected = Expected(bytes);
  fuzz::Require(got.keywordFile == expected.keywordFile, "line 1 is the keyword file");
  fuzz::Require(got.keywordIndex == expected.keywordIndex, "line 2 is the keyword index");
  fuzz::Require(got.deduplicate == expected.deduplicate, "line 3 is the de-duplication box");
  fuzz::Require(got.interval == expected.interval, "line 4 is the interval");
  fuzz::Require(complete == expected.interval.has_value(), "a complete restore answers true");
  return 0;
}
