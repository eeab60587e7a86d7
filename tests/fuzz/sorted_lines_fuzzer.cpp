// The merge's sort phase over ICU, as kelvane-merge runs it: the content
// arrives in pieces of any size and every distinct line comes out once, in
// the locale's order, the first of equal lines standing for them all.
//
// The first byte chooses the locale and how the content is cut into pieces;
// the rest is the content. The content is merged twice, the second time
// under a memory budget so small that it goes through sorted runs on disk;
// both give the same lines. The output is held against the rule written out
// plainly: split the content, keep the first line of each collation key,
// order by key. The keys themselves are checked against letter case: two
// lines share a key exactly when they differ only in letter case. A zero
// byte is an ordinary byte of its line.

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/utf16.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "harvest/text_list.h"
#include "platform/icu_line_collation.h"
#include "tests/fuzz/fuzz_check.h"
#include "tools/sorted_lines.h"

namespace {

using Lines = std::vector<std::string>;

// A line as a sequence of GBK characters (a byte from 0x81 to 0xFE starts
// a two-byte one) with letter case folded away: characters that convert as
// their code point folded, the others as their bytes. Lines whose folds are
// equal differ only in letter case.
class CaseFolder {
 public:
  CaseFolder() {
    UErrorCode status = U_ZERO_ERROR;
    gbk_ = ucnv_open("GBK", &status);
    ucnv_setToUCallBack(gbk_, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    fuzz::Require(U_SUCCESS(status), "ICU's GBK converter is there");
  }
  ~CaseFolder() { ucnv_close(gbk_); }
  CaseFolder(const CaseFolder&) = delete;
  CaseFolder& operator=(const CaseFolder&) = delete;

  struct Folded {
    std::u32string characters;  // code points, or 0x110000 + byte for a byte that does not convert
  };

  Folded Fold(std::string_view line) {
    Folded folded;
    for (std::size_t i = 0; i < line.size();) {
      const auto lead = static_cast<unsigned char>(line[i]);
      const std::size_t length = lead >= 0x81 && lead <= 0xFE && i + 1 < line.size() ? 2 : 1;
      const std::string_view character = line.substr(i, length);
      i += length;
      UChar units[4];
      UErrorCode status = U_ZERO_ERROR;
      ucnv_resetToUnicode(gbk_);
      const int32_t count = ucnv_toUChars(gbk_, units, 4, character.data(),
                                          static_cast<int32_t>(character.size()), &status);
      UChar32 c = U_SENTINEL;
      int32_t at = 0;
      if (U_SUCCESS(status) && count > 0) U16_NEXT(units, at, count, c);
      if (c < 0 || at != count) {
        for (const char byte : character)
          folded.characters += 0x110000 + static_cast<unsigned char>(byte);
        continue;
      }
      folded.characters += static_cast<char32_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
    }
    return folded;
  }

 private:
  UConverter* gbk_ = nullptr;
};

std::string Key(tools::LineCollation& collation, std::string_view line) {
  std::string key;
  collation.AppendSortKey(line, key);
  return key;
}

// The first line of each key, in the order of the keys.
Lines Expected(const Lines& lines, tools::LineCollation& collation) {
  std::map<std::string, std::string> firstByKey;
  for (const auto& line : lines) firstByKey.emplace(Key(collation, line), line);
  Lines out;
  for (auto& [key, line] : firstByKey) out.push_back(std::move(line));
  return out;
}

// Lines share a key exactly when their letter case folds are the same.
void CheckKeys(const Lines& lines, tools::LineCollation& collation, CaseFolder& folder) {
  std::map<std::u32string, std::string> keyByFold;
  std::map<std::string, std::u32string> foldByKey;
  for (const auto& line : lines) {
    const std::string key = Key(collation, line);
    const std::u32string folded = folder.Fold(line).characters;
    const auto [knownKey, newFold] = keyByFold.emplace(folded, key);
    fuzz::Require(newFold || knownKey->second == key, "lines that differ only in case are equal");
    const auto [knownFold, newKey] = foldByKey.emplace(key, folded);
    fuzz::Require(newKey || knownFold->second == folded, "lines that are equal differ only in case");
  }
}

// `budget` 0: all in memory; otherwise runs of at most about that many bytes.
Lines RunMerge(std::string_view content, unsigned pieceSeed, tools::LineCollation& collation,
               std::uint64_t budget = 0) {
  tools::SortedLines::Options options;
  options.memoryBudget = budget;
  tools::SortedLines sorted(collation, options);
  std::minstd_rand pieces(pieceSeed);
  for (std::size_t at = 0; at < content.size();) {
    const std::size_t length = pieces() % 10;  // empty pieces too
    sorted.Feed(content.substr(at, length));
    at += length;
  }
  sorted.EndOfContent();
  Lines out;
  const std::int64_t count = sorted.Emit([&out](std::string_view line) { out.emplace_back(line); });
  fuzz::Require(count == static_cast<std::int64_t>(out.size()), "Emit counts what it emits");
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::IcuLineCollation chinese("zh_CN");
  static platform::IcuLineCollation english("en_US");
  static CaseFolder folder;
  if (size == 0) return 0;
  tools::LineCollation& collation = (data[0] & 0x80) ? english : chinese;
  const unsigned pieceSeed = (data[0] & 0x7F) + 1u;
  const std::string_view content(reinterpret_cast<const char*>(data) + 1, size - 1);

  const Lines merged = RunMerge(content, pieceSeed, collation);
  fuzz::Require(RunMerge(content, pieceSeed + 1, collation, 64) == merged,
                "the output does not depend on the pieces, the run or the memory budget");

  const Lines whole = harvest::SplitAtLineBreaks(content);
  fuzz::Require(merged == Expected(whole, collation), "the first line of each key, in key order");
  CheckKeys(whole, collation, folder);
  return 0;
}
