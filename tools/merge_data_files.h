#pragma once
// Merge data files: the selected files' contents joined byte for byte (no
// separator: a last line without a break joins the next file's first line),
// then every distinct line once, in the locale's order, CR LF after each.
//
// The output is replaced only when the new content is complete (through
// harvest::ReplacingWriter), and the selected files are all read before
// that, so the output may be one of them.
//
// Errors: "Cannot create file %s" (the output cannot be written), "Cannot open
// file %s" (a selected file), "Stream read error", "Stream write error". Any
// of them, whether it comes from a selected file (first, last, part-way
// through), the output or the sorted runs of content beyond the memory
// budget, is raised at once: `sorted` is not told, the previous output file
// stays as it was (a missing one stays missing) and no temporary file is
// left.
//
// Running out of memory, in any phase and on any thread, raises
// OutOfMemoryError ("Out of memory"): nothing is written, the previous output
// stays as it was and no temporary file is left.

#include <cstdint>
#include <functional>
#include <vector>

#include "harvest/errors.h"
#include "harvest/file_path.h"
#include "tools/line_collation.h"
#include "tools/memory_budget.h"
#include "tools/merge_progress.h"
#include "tools/run_file.h"

namespace tools {

class OutOfMemoryError : public harvest::Exception {
 public:
  OutOfMemoryError() : Exception("Out of memory") {}
};

// The copy phase reads each file through a buffer of this many bytes.
inline constexpr std::size_t kCopyBufferSize = 61440;

struct MergeOptions {
  // What the merge may hold in memory. Content beyond it is sorted in runs
  // written to a temporary file in the output's folder (gone when the merge
  // ends, however it ends) and merged from there: the output is the same.
  std::uint64_t memoryBudget = DefaultMemoryBudget();
  // Told the number of distinct lines once the output is written; never
  // when the merge fails.
  std::function<void(std::int64_t)> sorted;
  // Told how far the merge has come, now and then, on the merging thread.
  MergeProgressFunction progress;
  // Tests: the runs' file under a name, as where unnamed files are missing.
  RunFile::Temporary temporary = RunFile::Temporary::Unnamed;
};

// Answers the number of distinct lines written.
std::int64_t MergeDataFiles(const std::vector<harvest::FilePath>& inputs,
                            const harvest::FilePath& output, LineCollation& collation,
                            const MergeOptions& options);
std::int64_t MergeDataFiles(const std::vector<harvest::FilePath>& inputs,
                            const harvest::FilePath& output, LineCollation& collation,
                            const std::function<void(std::int64_t)>& sorted = {});

}  // namespace tools
