#include "tools/line_collation.h"

#include "tools/ordered_merge.h"

namespace tools {

std::uint64_t KeyPrefixOf(std::string_view key, std::size_t offset) {
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    const std::size_t at = offset + i;
    prefix = prefix << 8 | (at < key.size() ? static_cast<unsigned char>(key[at]) : 0u);
  }
  return prefix;
}

std::uint64_t LineCollation::KeyPrefix(std::string_view line, std::size_t offset) {
  std::string& key = scratch_[0];
  key.clear();
  AppendSortKey(line, key);
  return KeyPrefixOf(key, offset);
}

std::uint64_t LineCollation::DigitKeyPrefix(std::uint64_t value, unsigned length) {
  char digits[kMaxDigitLineLength];
  return KeyPrefix(std::string_view(digits, FormatDigits(value, length, digits) - digits));
}

int LineCollation::Compare(std::string_view a, std::string_view b) {
  std::string& keyA = scratch_[0];
  std::string& keyB = scratch_[1];
  keyA.clear();
  keyB.clear();
  AppendSortKey(a, keyA);
  AppendSortKey(b, keyB);
  return keyA.compare(keyB);
}

void LineCollation::AppendIdentity(std::string_view line, std::string& identity) {
  AppendSortKey(line, identity);
}

}  // namespace tools
