// kelvane-merge [--memory SIZE] OUTPUT INPUT...
//
// The main window's merge for scripts and benchmarks: the inputs joined byte
// for byte, every distinct line once in the order of the user's locale
// (LC_ALL, LC_COLLATE or LANG; zh_CN for C and POSIX), CR LF after each.
// Prints the number of lines. Exit status: 0 done, 1 failed (the message on
// standard error, "Out of memory." among them; OUTPUT as it was, whichever
// file failed), 2 usage.
//
// File names are taken and reported as the file system spells them, since
// this front talks to a terminal rather than to the program's windows.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "harvest/errors.h"
#include "platform/icu_line_collation.h"
#include "tools/memory_budget.h"
#include "tools/merge_data_files.h"

#ifndef KELVANE_VERSION
#error "KELVANE_VERSION comes from the project's version in CMake"
#endif

namespace {

constexpr char kUsage[] = "usage: kelvane-merge [--memory SIZE] OUTPUT INPUT...\n";

constexpr char kHelp[] =
    "Usage: kelvane-merge [--memory SIZE] OUTPUT INPUT...\n"
    "Join the INPUT files byte for byte and write every distinct line once to\n"
    "OUTPUT, in the order of the locale (LC_ALL, LC_COLLATE or LANG; Chinese for\n"
    "C and POSIX), each followed by CR LF. Lines that differ only in letter case\n"
    "count as one; the first one stays. OUTPUT may be one of the inputs: it is\n"
    "replaced only when the new content is complete. Prints the number of lines.\n"
    "When an INPUT cannot be opened or read, nothing is written or printed, and\n"
    "OUTPUT stays as it was (a missing one is not created).\n"
    "\n"
    "  --memory SIZE  hold at most about SIZE bytes in memory (a number, or one\n"
    "                 followed by K, M or G); beyond that, sorted runs go to\n"
    "                 temporary files in OUTPUT's folder, removed afterwards.\n"
    "                 Default: a quarter of the physical memory.\n"
    "  --help         show this text and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Progress goes to standard error when that is a terminal.\n"
    "Exit status: 0 done, 1 failed (the reason on standard error, OUTPUT as it\n"
    "was), 2 wrong usage.\n";

struct CommandLine {
  std::optional<std::uint64_t> memory;
  std::vector<std::string> files;  // OUTPUT INPUT...
};

int UsageError(const std::string& reason) {
  std::fprintf(stderr, "kelvane-merge: %s\n%s", reason.c_str(), kUsage);
  return 2;
}

// Shows the phase and how far it has come on one line of a terminal, at
// most ten times a second.
class TerminalProgress {
 public:
  void Show(const tools::MergeProgress& progress) {
    const auto now = std::chrono::steady_clock::now();
    if (progress.phase == lastPhase_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    lastPhase_ = progress.phase;
    const double mb = 1024.0 * 1024.0;
    const double done = static_cast<double>(std::min(progress.done, progress.total));
    std::fprintf(stderr, "\r%-8s %5.1f%%  %.0f / %.0f MB   ", Name(progress.phase),
                 progress.total ? 100.0 * done / static_cast<double>(progress.total) : 0.0,
                 done / mb, static_cast<double>(progress.total) / mb);
    std::fflush(stderr);
    shown_ = true;
  }
  void Clear() {
    if (shown_) std::fprintf(stderr, "\r%50s\r", "");
    shown_ = false;
  }

 private:
  static const char* Name(tools::MergePhase phase) {
    switch (phase) {
      case tools::MergePhase::kReading:
        return "reading";
      case tools::MergePhase::kSorting:
        return "sorting";
      case tools::MergePhase::kMerging:
        return "merging";
      case tools::MergePhase::kWriting:
        return "writing";
    }
    return "";
  }

  std::chrono::steady_clock::time_point last_{};
  tools::MergePhase lastPhase_ = tools::MergePhase::kWriting;
  bool shown_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  bool takingOptions = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!takingOptions || arg == "-" || arg.empty() || arg[0] != '-') {
      line.files.emplace_back(arg);
    } else if (arg == "--") {
      takingOptions = false;
    } else if (arg == "--help") {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("kelvane-merge %s\n", KELVANE_VERSION);
      return 0;
    } else if (arg == "--memory" || arg.substr(0, 9) == "--memory=") {
      std::string_view size;
      if (arg == "--memory") {
        if (++i == argc) return UsageError("--memory needs a size");
        size = argv[i];
      } else {
        size = arg.substr(9);
      }
      line.memory = tools::ParseMemorySize(size);
      if (!line.memory) return UsageError("not a memory size: '" + std::string(size) + "'");
    } else {
      return UsageError("unknown option " + std::string(arg));
    }
  }
  if (line.files.size() < 2)
    return UsageError(line.files.empty() ? "no output and no input" : "no input");

  const harvest::FilePath output = harvest::FilePath::Ascii(line.files[0]);
  std::vector<harvest::FilePath> inputs;
  for (std::size_t i = 1; i < line.files.size(); ++i)
    inputs.push_back(harvest::FilePath::Ascii(line.files[i]));
  TerminalProgress progress;
  try {
    platform::IcuLineCollation collation(platform::IcuLineCollation::UserLocale());
    tools::MergeOptions options;
    if (line.memory) options.memoryBudget = *line.memory;
    if (::isatty(STDERR_FILENO))
      options.progress = [&progress](const tools::MergeProgress& p) { progress.Show(p); };
    options.sorted = [&progress](std::int64_t lines) {
      progress.Clear();
      std::printf("%lld\n", static_cast<long long>(lines));
      std::fflush(stdout);
    };
    tools::MergeDataFiles(inputs, output, collation, options);
    return 0;
  } catch (const harvest::Exception& e) {
    progress.Clear();
    std::fprintf(stderr, "kelvane-merge: %s\n", harvest::ErrorDisplayText(e.Message()).c_str());
  } catch (const std::bad_alloc&) {
    // Before the merge began (opening the collator): its own words.
    progress.Clear();
    std::fprintf(stderr, "kelvane-merge: %s\n",
                 harvest::ErrorDisplayText(tools::OutOfMemoryError().Message()).c_str());
  } catch (const std::exception& e) {
    progress.Clear();
    std::fprintf(stderr, "kelvane-merge: %s\n", e.what());
  }
  return 1;
}
