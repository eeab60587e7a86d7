#include "harvest/page_scanner.h"

#include <string>
#include <string_view>

namespace harvest {
namespace {

// Pager words in GBK: "下一页>" and "<上一页".
constexpr std::string_view kNextPage = "\xCF\xC2\xD2\xBB\xD2\xB3>";
constexpr std::string_view kPreviousPage = "<\xC9\xCF\xD2\xBB\xD2\xB3";

constexpr std::size_t kWorkingLimit = 255;
constexpr std::size_t kNumberLength = 11;
constexpr int kRowLimit = 50;
constexpr int kRounds = 3;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// One step of the scan: find `prefix` in `rest`, cut `rest` down to the
// digit run from there and what follows it, and hand over an 11-digit run.
// `rest` is a view into the line, so cutting copies nothing.
bool TakeNumber(std::string_view& rest, std::string_view prefix, std::string_view& number) {
  const auto at = rest.find(prefix);
  if (at == std::string_view::npos) return false;
  rest = rest.substr(at, kWorkingLimit);
  std::size_t run = 0;
  while (run < rest.size() && IsDigit(rest[run])) ++run;
  number = rest.substr(0, run);
  rest.remove_prefix(run);
  return run == kNumberLength;
}

void AddNumber(std::string_view number, bool stepA, ScanState& state, ResultList& results,
               bool deduplicate) {
  std::string caption(number);
  if (deduplicate && results.Contains(caption)) return;
  state.counted.push_back(caption);
  results.Append(std::move(caption));
  ++state.foundCount;
  if (stepA && results.Count() > kRowLimit) results.Clear();
}

}  // namespace

bool HasNextPage(const LineList& lines) {
  for (const auto& line : lines) {
    if (line.find(kNextPage) == std::string::npos) continue;
    if (line.starts_with(kPreviousPage) || line.starts_with('1')) return true;
  }
  return false;
}

void ScanNumbers(const LineList& pageLines, ScanState& state, ResultList& results,
                 bool deduplicate) {
  for (const auto& line : pageLines) {
    std::string_view rest = line;
    for (int round = 0; round < kRounds; ++round) {
      std::string_view number;
      if (TakeNumber(rest, state.prefixA, number))
        AddNumber(number, true, state, results, deduplicate);
      if (TakeNumber(rest, state.prefixB, number))
        AddNumber(number, false, state, results, deduplicate);
    }
  }
}

}  // namespace harvest
