#pragma once
// The merge's line order over ICU: the locale's collation, in which two
// lines are the same exactly when they differ only in letter case.
//
// ICU's secondary strength would ignore case, but it also makes full-width
// digits equal to ASCII ones, U+3000 equal to a space and control characters
// invisible, merging distinct data. So each line is case-folded (simple
// folding, one character for one) and keyed at identical strength; a line
// that is not valid GBK has its raw bytes appended to its key, so that two
// different invalid lines never meet as one.

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
  bool invalid_ = false;  // set by the conversion callback
  std::vector<UChar> text_;
  std::vector<uint8_t> keyBuffer_;
};

}  // namespace platform
