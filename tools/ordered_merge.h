#pragma once
// The last step of the merge: digit lines and other lines, each already in
// order and without repeats, merged into one sequence in the collation's
// order.
//
// A digit line never equals another line, so each other line goes before
// the first digit line that sorts after it. That place is found by
// galloping through the digit lines, comparing the first 8 bytes of keys
// and the lines themselves only when those are equal: other lines among
// many numbers cost few keys, and lines that sort after every number
// (letters, Chinese) cost none once the numbers are through.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tools/digit_lines.h"
#include "tools/line_collation.h"

namespace tools {

// Other lines in order, each with the first 8 bytes of its key
// (LineCollation::SortKeyPart).
class TextSource {
 public:
  virtual ~TextSource() = default;
  // The next line (valid until the next call); false at the end.
  virtual bool Next(std::string_view& line, std::uint64_t& keyPart) = 0;
};

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

// Merges sources of distinct lines in order into one; a line that more than
// one holds comes from the first of them.
std::unique_ptr<TextSource> MergeTextSources(std::vector<std::unique_ptr<TextSource>> sources,
                                             LineCollation& collation);

// Digit lines compared with other lines. The first 8 bytes of a long digit
// line's key are, in the locales seen so far, one byte per digit; once many
// are needed, that is checked against the collation and then computed
// directly.
class DigitKeys {
 public:
  explicit DigitKeys(LineCollation& collation) : collation_(collation) {}

  std::uint64_t Part(std::uint64_t value, unsigned length);
  // As the key of the digit line compares with the key of `line`.
  int Compare(std::uint64_t value, unsigned length, std::string_view line);

 private:
  std::string_view Text(std::uint64_t value, unsigned length);
  void Learn();

  LineCollation& collation_;
  char text_[kMaxDigitLineLength];
  std::uint64_t lastValue_ = 0;
  unsigned lastLength_ = ~0u;
  std::uint64_t lastPart_ = 0;
  unsigned asked_ = 0;
  bool learned_ = false;
  bool byteEach_ = false;  // a digit line of 8 digits or more: one key byte each
  unsigned char weight_[10] = {};
};

}  // namespace tools
