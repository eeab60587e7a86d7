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

 private:
  IcuLineCollation(UCollator* collator, std::string locale);

  std::string locale_;
  UCollator* collator_ = nullptr;
  UConverter* gbk_ = nullptr;
  std::string folded_;
  std::vector<UChar> text_;
  std::vector<uint8_t> keyBuffer_;
};

}  // namespace platform
