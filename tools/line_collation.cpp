#include "tools/line_collation.h"

namespace tools {

std::uint64_t BytesPart(std::string_view bytes, std::size_t offset) {
  std::uint64_t part = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    const std::size_t at = offset + i;
    part = part << 8 | (at < bytes.size() ? static_cast<unsigned char>(bytes[at]) : 0u);
  }
  return part;
}

std::uint64_t LineCollation::SortKeyPart(std::string_view line, std::size_t offset) {
  std::string& key = scratch_[0];
  key.clear();
  AppendSortKey(line, key);
  return BytesPart(key, offset);
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
