#include "harvest/text_list.h"

namespace harvest {
namespace {

std::string_view UpToFirstNul(std::string_view text) {
  const auto nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

}  // namespace

LineList SplitAtLineBreaks(std::string_view text) {
  LineList lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto brk = text.find_first_of("\r\n", start);
    if (brk == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, brk - start));
    start = brk + 1;
    if (text[brk] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

LineList SplitLinesUpToNul(std::string_view text) {
  return SplitAtLineBreaks(UpToFirstNul(text));
}

LineList SplitAtCrLf(std::string_view text) {
  text = UpToFirstNul(text);
  LineList lines;
  if (text.empty()) return lines;
  std::size_t start = 0;
  for (;;) {
    const auto brk = text.find("\r\n", start);
    if (brk == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, brk - start));
    start = brk + 2;
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

std::string JoinLines(const LineList& lines) {
  std::size_t size = 0;
  for (const auto& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace harvest
