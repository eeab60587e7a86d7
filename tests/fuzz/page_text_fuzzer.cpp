// Page text as the browser hands it over: split into lines the two ways the
// engine splits text, tested for the pager, and scanned for numbers.
// The first byte sets the de-duplication box; the rest is the page text.

#include <cstdint>
#include <string>
#include <string_view>

#include "harvest/page_scanner.h"
#include "harvest/result_list.h"
#include "harvest/text_list.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool deduplicate = (data[0] & 1) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  const harvest::LineList lines = harvest::SplitAtCrLf(text);
  CheckBoxLines(text, lines);
  CheckTextLines(text, harvest::SplitLinesUpToNul(text));
  harvest::HasNextPage(lines);

  AppendCounter counter;
  harvest::ResultList results;
  results.SetObserver(&counter);
  harvest::ScanState state{"13", "15", 0};
  harvest::ScanNumbers(lines, state, results, deduplicate);

  fuzz::Require(state.foundCount == counter.Appended(), "every addition is counted");
  for (int row = 0; row < results.Count(); ++row) {
    const std::string& caption = results.Caption(row);
    fuzz::Require(IsNumber(caption), "a row is 11 digits starting 13 or 15");
    fuzz::Require(text.find(caption) != std::string_view::npos, "a row's number is on the page");
    if (deduplicate) {
      for (int earlier = 0; earlier < row; ++earlier) {
        fuzz::Require(results.Caption(earlier) != caption, "no number twice with de-duplication");
      }
    }
  }
  return 0;
}
