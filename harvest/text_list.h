#pragma once
// Ordered lists of text lines and the two ways a text becomes lines.

#include <string>
#include <string_view>
#include <vector>

namespace harvest {

using LineList = std::vector<std::string>;

// A line ends at CR LF, CR or LF (LF then CR is two breaks), and a break at
// the very end adds no empty line. Every other byte, 0 too, is the line's.
LineList SplitLines(std::string_view text);

// A text list's own split: SplitLines up to the first byte of value 0,
// which ends the text.
LineList SplitText(std::string_view text);

// The split of a multi-line text box without word wrap: lines end only at
// CR LF, one empty last line is not a line, and the first byte of value 0
// ends the text. Page text is split this way.
LineList SplitBoxLines(std::string_view text);

// Every line followed by CR LF, the last one too.
std::string JoinLines(const LineList& lines);

}  // namespace harvest
