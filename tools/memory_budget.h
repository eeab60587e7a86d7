#pragma once
// How much memory the merge may hold: beyond it, what is held is sorted and
// written to disk as a run (tools/run_file.h), and the runs are merged at
// the end.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tools {

// A quarter of the machine's physical memory.
std::uint64_t DefaultMemoryBudget();

// A size as the command line takes it: a number of bytes, or of kibibytes,
// mebibytes or gibibytes with K, M or G after it ("64M"). Nothing for an
// empty or zero size, any other text, or one past 2^64.
std::optional<std::uint64_t> ParseMemorySize(std::string_view text);

}  // namespace tools
