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

class AppendCounter final : public harvest::ResultListObserver {
 public:
  void BeginAppend(int) override {}
  void EndAppend(int) override { ++appended_; }
  void BeginClear() override {}
  void EndClear() override {}
  int Appended() const { return appended_; }

 private:
  int appended_ = 0;
};

std::string_view UpToFirstNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

void CheckBoxLines(std::string_view text, const harvest::LineList& lines) {
  for (const auto& line : lines) {
    fuzz::Require(line.find("\r\n") == std::string::npos, "a box line holds no CR LF");
    fuzz::Require(line.find('\0') == std::string::npos, "a box line holds no NUL");
  }
  // Joined again, the lines give the text back, with CR LF after the last
  // line where the text had none.
  const std::string_view content = UpToFirstNul(text);
  std::string expected(content);
  if (!content.empty() && !content.ends_with("\r\n")) expected += "\r\n";
  fuzz::Require(harvest::JoinLines(lines) == expected, "box lines join back to the text");
}

void CheckTextLines(std::string_view text, const harvest::LineList& lines) {
  std::string joined;
  for (const auto& line : lines) {
    fuzz::Require(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
                  "a text line holds no CR, LF or NUL");
    joined += line;
  }
  std::string expected;
  for (const char c : UpToFirstNul(text)) {
    if (c != '\r' && c != '\n') expected += c;
  }
  fuzz::Require(joined == expected, "text lines hold every byte but the breaks");
}

bool IsNumber(const std::string& caption) {
  if (caption.size() != 11 || !(caption.starts_with("13") || caption.starts_with("15")))
    return false;
  for (const char c : caption) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

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
  harvest::ScanState state{"13", "15", 0, {}};
  harvest::ScanNumbers(lines, state, results, deduplicate);

  fuzz::Require(state.foundCount == counter.Appended(), "every addition is counted");
  fuzz::Require(state.counted.size() == static_cast<std::size_t>(state.foundCount),
                "every counted number is kept for the run's file");
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
