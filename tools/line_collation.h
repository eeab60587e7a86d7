#pragma once
// How the merge orders and compares lines: a sort key per line. Lines whose
// keys are byte-equal are the same line for the merge (they differ only in
// letter case); the keys' byte order is the locale's order of the lines.

#include <memory>
#include <string>
#include <string_view>

namespace tools {

class LineCollation {
 public:
  virtual ~LineCollation() = default;

  // Appends the key of `line` (GBK bytes) to `key`.
  virtual void AppendSortKey(std::string_view line, std::string& key) = 0;

  // An independent copy for another thread.
  virtual std::unique_ptr<LineCollation> Clone() const = 0;
};

}  // namespace tools
