#pragma once
// The sort phase of the merge: the merged content split into lines, then
// every distinct line once, in the locale's order. The result is the same as
// inserting each line in turn by bisection into a sorted list that drops a
// line equal to one already there, the first occurrence staying with its
// own letter case; it is reached by sorting on keys instead, O(n log n).
//
// Lines of ASCII digits alone travel as 64-bit keys (digit_key.h) and never
// touch the collation but where they meet other lines.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/line_collation.h"

namespace tools {

class SortedLines {
 public:
  // Splitting: a line ends at CR LF, CR or LF (LF then CR is two breaks), a
  // break at the very end adds no empty line. Every other byte, 0 included,
  // belongs to its line. Lines are not trimmed. Content may come in any pieces.
  void Feed(std::string_view bytes);
  // The content is complete: a last line without a break is taken.
  void EndOfContent();

  // Calls `emit` with each distinct line in order; answers their number.
  // An error of the collation or a lack of memory (std::bad_alloc), on
  // whichever thread computes keys, is raised here on the calling thread.
  std::int64_t Emit(LineCollation& collation, const std::function<void(std::string_view)>& emit);

 private:
  struct Span {
    std::size_t offset;
    std::size_t length;
  };

  void EndLine(std::string_view segment);
  void TakeLine(std::string_view line);

  std::string carry_;     // a line begun in an earlier piece
  bool afterCr_ = false;  // the last piece ended in CR: an LF next belongs to it
  bool ended_ = false;

  std::vector<std::uint64_t> digitLines_;
  std::string otherBytes_;
  std::vector<Span> otherLines_;  // in order of occurrence
};

// Sorts 64-bit keys in place (LSD radix, 16 bits a pass).
void RadixSort(std::vector<std::uint64_t>& keys);

}  // namespace tools
