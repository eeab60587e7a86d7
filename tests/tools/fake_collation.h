#pragma once
// A collation for merge tests: ASCII letters compare without case, every
// other byte by its value. Simple enough to reason about by hand.

#include <algorithm>
#include <cctype>

#include "tools/line_collation.h"

class AsciiNoCaseCollation final : public tools::LineCollation {
 public:
  void AppendSortKey(std::string_view line, std::string& key) override {
    ++keysMade;
    for (const char c : line) key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  std::unique_ptr<tools::LineCollation> Clone() const override { return std::make_unique<AsciiNoCaseCollation>(); }

  long keysMade = 0;
};
