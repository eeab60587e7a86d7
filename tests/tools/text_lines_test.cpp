// Other lines held once each: repeats found through a hash table whose
// hashes come from the caller, so collisions can be forced.

#include "tools/text_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "fake_collation.h"

namespace tools {
namespace {

using Lines = std::vector<std::string>;

// The held lines in order after adding `input` with hashes from `hash`.
Lines Held(const Lines& input, const std::function<std::uint64_t(const std::string&)>& hash) {
  AsciiNoCaseCollation collation;
  TextLines lines;
  for (const std::string& line : input) lines.Add(line, hash(line), collation);
  Collations collations(collation);
  lines.Sort(collations, 1);
  Lines out;
  for (std::size_t i = 0; i < lines.Count(); ++i) out.emplace_back(lines.Line(i));
  return out;
}

TEST(TextLines, EqualHashesNeverMakeDistinctLinesRepeats) {
  // Two thousand distinct lines: enough to grow the table's parts many times.
  Lines distinct;
  for (int i = 0; i < 2000; ++i) distinct.push_back("line" + std::to_string(i));
  Lines input = distinct;
  for (int i = 0; i < 2000; i += 7) input.push_back("LINE" + std::to_string(i));  // repeats
  Lines expected = distinct;
  std::sort(expected.begin(), expected.end());
  AsciiNoCaseCollation collation;
  std::string scratch;
  const std::pair<const char*, std::function<std::uint64_t(const std::string&)>> hashes[] = {
      {"the collation's own",
       [&](const std::string& line) { return TextLines::IdentityHash(line, collation, scratch); }},
      {"all equal", [](const std::string&) { return std::uint64_t{0x0123456789ABCDEF}; }},
      // The same part and the same 32 top bits (the slot's tag), different below.
      {"equal tags",
       [](const std::string& line) {
         return std::uint64_t{0xFEDCBA98} << 32 | std::hash<std::string>()(line) % 0xFFFFFFFF;
       }},
      // Two values only: long runs of slots in one part, all with one tag.
      {"two values",
       [](const std::string& line) {
         return line.size() % 2 ? ~std::uint64_t{0} : std::uint64_t{0};
       }},
  };
  for (const auto& [name, hash] : hashes) {
    SCOPED_TRACE(name);
    // Case variants of one line: the first stays, whatever the hashes.
    EXPECT_EQ(Held({"Ab", "aB", "ab", "AB"}, hash), Lines{"Ab"});
    EXPECT_EQ(Held(input, hash), expected);
  }
}

}  // namespace
}  // namespace tools
