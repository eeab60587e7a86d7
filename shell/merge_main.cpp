// kelvane-merge OUTPUT INPUT...
//
// The main window's merge for scripts and benchmarks: the inputs joined byte
// for byte, every distinct line once in the order of the user's locale
// (LC_ALL, LC_COLLATE or LANG; zh_CN for C and POSIX), CR LF after each.
// Prints the number of lines. Exit status: 0 done, 1 failed (the message on
// standard error, "Out of memory." among them), 2 usage.
//
// File names are taken and reported as the file system spells them, since
// this front talks to a terminal rather than to the program's windows.

#include <cstdio>
#include <exception>
#include <new>
#include <vector>

#include "harvest/errors.h"
#include "platform/icu_line_collation.h"
#include "tools/merge_data_files.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTPUT INPUT...\n", argv[0]);
    return 2;
  }
  const harvest::FilePath output = harvest::FilePath::Ascii(argv[1]);
  std::vector<harvest::FilePath> inputs;
  for (int i = 2; i < argc; ++i) inputs.push_back(harvest::FilePath::Ascii(argv[i]));
  try {
    platform::IcuLineCollation collation(platform::IcuLineCollation::UserLocale());
    const auto count = tools::MergeDataFiles(inputs, output, collation, [](std::int64_t lines) {
      std::printf("%lld\n", static_cast<long long>(lines));
      std::fflush(stdout);
    });
    (void)count;
    return 0;
  } catch (const harvest::Exception& e) {
    std::fprintf(stderr, "kelvane-merge: %s\n", harvest::ErrorDisplayText(e.Message()).c_str());
  } catch (const std::bad_alloc&) {
    // Before the merge began (opening the collator): its own words.
    std::fprintf(stderr, "kelvane-merge: %s\n",
                 harvest::ErrorDisplayText(tools::EOutOfMemory().Message()).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kelvane-merge: %s\n", e.what());
  }
  return 1;
}
