#pragma once
// How the merge orders and compares lines: a sort key per line. Lines whose
// keys are byte-equal are the same line for the merge (they differ only in
// letter case); the keys' byte order is the locale's order of the lines.
//
// The merge seldom needs a whole key. Its first 8 bytes, the key prefix,
// order most lines; a comparison settles the rest, and an identity (by
// default the key itself) finds repeats. A collation may answer these more
// cheaply than through whole keys, as long as the answers agree with them.

#include <cstdint>
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

  // The key prefix: bytes offset..offset+7 of the key as a big-endian
  // number, zero bytes for those past its end. Keys in order give prefixes
  // in order.
  virtual std::uint64_t KeyPrefix(std::string_view line, std::size_t offset = 0);

  // KeyPrefix of the digit line of `length` digits whose number is `value`.
  // The merge asks for it many times, mostly for the same line in a row.
  virtual std::uint64_t DigitKeyPrefix(std::uint64_t value, unsigned length);

  // Less than, equal to or greater than 0 as the key of `a` compares with
  // the key of `b`.
  virtual int Compare(std::string_view a, std::string_view b);

  // Appends bytes that are equal for two lines exactly when their keys are.
  virtual void AppendIdentity(std::string_view line, std::string& identity);

 protected:
  LineCollation() = default;
  LineCollation(const LineCollation&) = default;
  LineCollation& operator=(const LineCollation&) = default;

 private:
  std::string scratch_[2];
};

// The key prefix at `offset` of the key `key`.
std::uint64_t KeyPrefixOf(std::string_view key, std::size_t offset = 0);

}  // namespace tools
