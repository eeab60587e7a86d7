#pragma once
// The merge's line order over ICU: the locale's collation, in which two
// lines are the same exactly when they differ only in letter case.
//
// ICU's secondary strength would ignore case, but it also makes full-width
// digits equal to ASCII ones, U+3000 equal to a space and control characters
// invisible, merging distinct data. Even its identical strength compares
// canonical decompositions, under which GBK's compatibility ideographs
// (FD 9C, FE 40...) equal their ordinary twins (C0 C9, D8 A3...). So a
// line's GBK bytes are first folded to one letter case, character by
// character; the folded bytes are keyed at identical strength and then
// appended to the key as they are. Two lines meet only when their folded
// bytes are equal; lines the collator cannot tell apart otherwise (those
// twins, lines that are not valid GBK) stay apart, next to each other, in
// the order of their bytes.
//
// The merge asks mostly for key prefixes, the first 8 bytes of a key (ICU's
// partial sort keys, which stop writing there), compares lines when those
// are equal (ucol_strcoll, then the folded bytes), and finds repeats by the
// folded bytes alone; all three agree with the whole keys. A long digit
// line's key prefix is, in the locales seen so far, one byte per digit:
// once the merge asks for many, that is checked against the collator and
// then computed without it.

#include <unicode/ucnv.h>
#include <unicode/ucol.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/line_collation.h"

namespace platform {

class IcuLineCollation final : public tools::LineCollation {
 public:
  // `locale` as ICU or POSIX names it: "zh_CN", "en_US.UTF-8"...
  explicit IcuLineCollation(const std::string& locale);
  ~IcuLineCollation() override;
  IcuLineCollation(const IcuLineCollation&) = delete;
  IcuLineCollation& operator=(const IcuLineCollation&) = delete;

  // The user's collation locale: LC_ALL, LC_COLLATE or LANG, the first that
  // is set; zh_CN when that is C or POSIX (or nothing).
  static std::string UserLocale();

  // A lack of memory inside ICU is raised as std::bad_alloc.
  void AppendSortKey(std::string_view line, std::string& key) override;
  std::unique_ptr<tools::LineCollation> Clone() const override;
  std::uint64_t KeyPrefix(std::string_view line, std::size_t offset = 0) override;
  std::uint64_t DigitKeyPrefix(std::uint64_t value, unsigned length) override;
  int Compare(std::string_view a, std::string_view b) override;
  void AppendIdentity(std::string_view line, std::string& identity) override;

 private:
  // A line folded and decoded.
  struct Prepared {
    std::string folded;
    std::vector<UChar> text;
    int32_t length = 0;
  };

  IcuLineCollation(UCollator* collator, std::string locale);
  // Folds `line` and decodes it to UTF-16 through ICU's converter.
  void PrepareWithConverter(std::string_view line, Prepared& out);
  // The same through a table of GBK's characters, the converter only for
  // bytes the table does not settle.
  void Prepare(std::string_view line, Prepared& out);
  // ICU's first `wanted` bytes of the key into keyBuffer_; answers how
  // many there are (fewer: the key ended) and, with `readTo`, how far ICU
  // read.
  std::size_t KeyBeginning(const Prepared& text, std::size_t wanted, int32_t* readTo);
  std::uint64_t KeyPrefixFrom(const Prepared& text, std::size_t icuBytes, std::size_t offset) const;
  // Whether a digit line of 8 digits or more has one key byte per digit,
  // each digit's byte into digitWeight_.
  bool LearnDigitWeights();

  std::string locale_;
  UCollator* collator_ = nullptr;
  UConverter* gbk_ = nullptr;
  Prepared first_;
  Prepared second_;
  std::vector<uint8_t> keyBuffer_;

  // DigitKeyPrefix: the last line asked for, and what was learned.
  std::uint64_t lastDigitValue_ = 0;
  unsigned lastDigitLength_ = ~0u;
  std::uint64_t lastDigitPrefix_ = 0;
  unsigned digitLinesAsked_ = 0;
  bool digitWeightsTried_ = false;
  bool digitByteEach_ = false;
  unsigned char digitWeight_[10] = {};
};

}  // namespace platform
