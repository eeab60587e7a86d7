#pragma once
// The last step of the merge: digit lines and other lines, each already in
// order and without repeats, merged into one sequence in the collation's
// order.
//
// A digit line never equals another line, so each other line goes before
// the first digit line that sorts after it. That place is found by
// galloping through the digit lines, comparing key prefixes and the lines
// themselves only when those are equal: other lines among many numbers cost
// few keys, and lines that sort after every number (letters, Chinese) cost
// none once the numbers are through.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tools/line_collation.h"
#include "tools/line_source.h"

namespace tools {

// Where the merged lines go.
class LineSink {
 public:
  virtual ~LineSink() = default;
  // Lines from..to-1 of `block`.
  virtual void Digits(const DigitBlock& block, std::size_t from, std::size_t to) = 0;
  virtual void Text(std::string_view line) = 0;
};

// Merges the sources into `sink`; answers the number of lines.
std::int64_t MergeInOrder(DigitSource& digits, TextSource& texts, LineCollation& collation,
                          LineSink& sink);

// Other lines in the collation's order: key prefixes first, the lines
// themselves when those are equal.
class TextOrder {
 public:
  explicit TextOrder(LineCollation& collation) : collation_(&collation) {}
  int Compare(const TextBlock& a, std::size_t i, const TextBlock& b, std::size_t j) const {
    if (a.prefixes[i] != b.prefixes[j]) return a.prefixes[i] < b.prefixes[j] ? -1 : 1;
    return collation_->Compare(a.lines[i], b.lines[j]);
  }
  // A copy: the line's block goes before its repeats come.
  void Remember(const TextBlock& block, std::size_t i) {
    last_.assign(block.lines[i]);
    lastPrefix_ = block.prefixes[i];
  }
  bool IsLast(const TextBlock& block, std::size_t i) const {
    return block.prefixes[i] == lastPrefix_ && collation_->Compare(block.lines[i], last_) == 0;
  }

 private:
  LineCollation* collation_;
  std::string last_;
  std::uint64_t lastPrefix_ = 0;
};

inline std::unique_ptr<DigitSource> MergeDigitSources(
    std::vector<std::unique_ptr<DigitSource>> sources) {
  return MergeSources(std::move(sources), DigitOrder());
}
inline std::unique_ptr<TextSource> MergeTextSources(
    std::vector<std::unique_ptr<TextSource>> sources, LineCollation& collation) {
  return MergeSources(std::move(sources), TextOrder(collation));
}

}  // namespace tools
