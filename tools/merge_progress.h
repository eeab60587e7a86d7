#pragma once
// How far a merge has come, for a progress display: its phase and, in bytes
// of the selected files, how much of them that phase has dealt with.

#include <cstdint>
#include <functional>

namespace tools {

enum class MergePhase {
  kReading,  // the selected files, line by line
  kSorting,  // the lines held in memory
  kMerging,  // sorted runs into fewer (content beyond the memory budget)
  kWriting,  // the output
};

struct MergeProgress {
  MergePhase phase = MergePhase::kReading;
  std::uint64_t done = 0;   // bytes of the selected files
  std::uint64_t total = 0;  // their size when the merge began
};

using MergeProgressFunction = std::function<void(const MergeProgress&)>;

}  // namespace tools
