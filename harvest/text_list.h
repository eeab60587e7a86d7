#pragma once
// Ordered lists of text lines and the ways a text becomes lines.

#include <string>
#include <string_view>
#include <vector>

namespace harvest {

using LineList = std::vector<std::string>;

// A line ends at CR LF, CR or LF (LF then CR is two breaks), and a break at
// the very end adds no empty line. Every other byte, 0 too, is the line's.
LineList SplitAtLineBreaks(std::string_view text);

// A text list's own split: SplitAtLineBreaks up to the first byte of value 0,
// which ends the text.
LineList SplitLinesUpToNul(std::string_view text);

// Page text's split: lines end only at CR LF (a lone CR or LF stays in its
// line), one empty last line is not a line, and the first byte of value 0
// ends the text.
LineList SplitAtCrLf(std::string_view text);

// Every line followed by CR LF, the last one too.
std::string JoinLines(const LineList& lines);

}  // namespace harvest
