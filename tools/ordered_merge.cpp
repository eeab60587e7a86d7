#include "tools/ordered_merge.h"

#include <algorithm>

namespace tools {
namespace {

// Lines between two reports of the progress: some 1 MB of output.
constexpr std::int64_t kLinesPerReport = 65536;

}  // namespace

std::int64_t MergeInOrder(DigitSource& digits, TextSource& texts, LineCollation& collation,
                          LineSink& sink, const std::function<void(std::int64_t)>& merged) {
  DigitBlock block = digits.Next();
  std::size_t at = 0;
  std::int64_t count = 0;
  std::int64_t nextReport = kLinesPerReport;
  auto counted = [&](std::int64_t lines) {
    count += lines;
    if (count < nextReport) return;
    nextReport = count + kLinesPerReport;
    if (merged) merged(count);
  };
  auto emitDigits = [&](std::size_t to) {
    // Large stretches in slices, so that the progress moves as they go.
    for (std::size_t until; at < to; at = until) {
      until = std::min<std::size_t>(to, at + kLinesPerReport);
      sink.Digits(block, at, until);
      counted(static_cast<std::int64_t>(until - at));
    }
  };
  char digitText[kMaxDigitLineLength];
  for (TextBlock lines = texts.Next(); lines.count > 0; lines = texts.Next()) {
    for (std::size_t l = 0; l < lines.count; ++l) {
      const std::string_view line = lines.lines[l];
      const std::uint64_t prefix = lines.prefixes[l];
      // Whether digit line i comes before the text line.
      auto digitBefore = [&](std::size_t i) {
        const std::uint64_t p = collation.DigitKeyPrefix(block.values[i], block.Length(i));
        if (p != prefix) return p < prefix;
        const char* end = FormatDigits(block.values[i], block.Length(i), digitText);
        return collation.Compare(std::string_view(digitText, end - digitText), line) < 0;
      };
      while (block.count > 0) {
        // A block wholly before the line goes as it is, for one probe.
        emitDigits(digitBefore(block.count - 1) ? block.count
                                                : Gallop(at, block.count, digitBefore));
        if (at < block.count) break;
        block = digits.Next();
        at = 0;
      }
      sink.Text(line);
      counted(1);
    }
  }
  for (; block.count > 0; block = digits.Next(), at = 0) emitDigits(block.count);
  return count;
}

}  // namespace tools
