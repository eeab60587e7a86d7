#pragma once
// Decides what on a result page counts as a mobile number, and whether the
// page offers a further page. Works on page lines and the result list only.

#include <string>
#include <vector>

#include "harvest/result_list.h"
#include "harvest/text_list.h"

namespace harvest {

// True when some line holds "下一页>" and begins with "<上一页" or with "1".
bool HasNextPage(const LineList& lines);

struct ScanState {
  std::string prefixA;  // "13"
  std::string prefixB;  // "15"
  int foundCount = 0;
  // Every number counted, in order, until the caller takes them: also those
  // the 51-row rule takes off the list again.
  std::vector<std::string> counted;
};

// Adds the page's numbers to `results`, raising state.foundCount. Each line is searched for prefix
// A then prefix B, three rounds; a find drops everything before it and keeps at most 255 bytes from
// it on; only a digit run of exactly 11 bytes is a number. With the `deduplicate`, a number that a
// row already shows is skipped. When an addition by prefix A leaves more than 50 rows, the list is
// emptied.
void ScanNumbers(const LineList& pageLines, ScanState& state, ResultList& results,
                 bool deduplicate);

}  // namespace harvest
