#pragma once
// Ordered lists of text lines and the two ways a text becomes lines.

#include <string>
#include <string_view>
#include <vector>

namespace harvest {

using StringList = std::vector<std::string>;

// A text list's own split: a line ends at CR LF, CR or LF (LF then CR is two
// breaks), a break at the very end adds no empty line, and the first byte of
// value 0 ends the text.
StringList SplitText(std::string_view text);

// The split of a multi-line text box without word wrap: lines end only at
// CR LF, one empty last line is not a line, and the first byte of value 0
// ends the text. Page text is split this way.
StringList SplitBoxLines(std::string_view text);

// Every line followed by CR LF, the last one too.
std::string JoinLines(const StringList& lines);

}  // namespace harvest
