#include "platform/icu_line_collation.h"

#include <unicode/uchar.h>
#include <unicode/ucnv_cb.h>
#include <unicode/utf16.h>

#include <cstdlib>
#include <new>
#include <stdexcept>

namespace platform {
namespace {

// Substitutes as usual, and notes that the line was not valid GBK.
void NoteInvalid(const void* context, UConverterToUnicodeArgs* args, const char* codeUnits, int32_t length,
                 UConverterCallbackReason reason, UErrorCode* status) {
  if (reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR || reason == UCNV_UNASSIGNED) {
    *static_cast<bool*>(const_cast<void*>(context)) = true;
  }
  UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, reason, status);
}

std::string IcuLocaleName(std::string name) {
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return "zh_CN";
  return name;
}

void Check(UErrorCode status, const char* what) {
  if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
  if (U_FAILURE(status)) throw std::runtime_error(std::string(what) + ": " + u_errorName(status));
}

}  // namespace

std::string IcuLineCollation::UserLocale() {
  for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return IcuLocaleName(value);
  }
  return "zh_CN";
}

IcuLineCollation::IcuLineCollation(const std::string& locale) : locale_(IcuLocaleName(locale)) {
  UErrorCode status = U_ZERO_ERROR;
  collator_ = ucol_open(locale_.c_str(), &status);
  Check(status, "ucol_open");
  ucol_setStrength(collator_, UCOL_IDENTICAL);
  gbk_ = ucnv_open("GBK", &status);
  Check(status, "ucnv_open");
  ucnv_setToUCallBack(gbk_, NoteInvalid, &invalid_, nullptr, nullptr, &status);
  Check(status, "ucnv_setToUCallBack");
}

IcuLineCollation::IcuLineCollation(UCollator* collator, std::string locale) : locale_(std::move(locale)), collator_(collator) {
  UErrorCode status = U_ZERO_ERROR;
  gbk_ = ucnv_open("GBK", &status);
  Check(status, "ucnv_open");
  ucnv_setToUCallBack(gbk_, NoteInvalid, &invalid_, nullptr, nullptr, &status);
  Check(status, "ucnv_setToUCallBack");
}

IcuLineCollation::~IcuLineCollation() {
  if (gbk_) ucnv_close(gbk_);
  if (collator_) ucol_close(collator_);
}

std::unique_ptr<tools::LineCollation> IcuLineCollation::Clone() const {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* copy = ucol_clone(collator_, &status);
  Check(status, "ucol_clone");
  return std::unique_ptr<tools::LineCollation>(new IcuLineCollation(copy, locale_));
}

void IcuLineCollation::AppendSortKey(std::string_view line, std::string& key) {
  // GBK to UTF-16: never more units than bytes.
  text_.resize(line.size() + 1);
  invalid_ = false;
  ucnv_resetToUnicode(gbk_);
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = ucnv_toUChars(gbk_, text_.data(), static_cast<int32_t>(text_.size()), line.data(),
                                       static_cast<int32_t>(line.size()), &status);
  Check(status, "ucnv_toUChars");

  // Simple case folding, in place: one character for one.
  int32_t read = 0;
  int32_t write = 0;
  while (read < length) {
    UChar32 c;
    U16_NEXT(text_.data(), read, length, c);
    c = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    UBool noRoom = false;  // cannot happen: folding keeps a character's size
    U16_APPEND(text_.data(), write, static_cast<int32_t>(text_.size()), c, noRoom);
    if (noRoom) break;
  }

  if (keyBuffer_.size() < 64) keyBuffer_.resize(256);
  int32_t size = ucol_getSortKey(collator_, text_.data(), write, keyBuffer_.data(), static_cast<int32_t>(keyBuffer_.size()));
  if (size > static_cast<int32_t>(keyBuffer_.size())) {
    keyBuffer_.resize(static_cast<std::size_t>(size));
    size = ucol_getSortKey(collator_, text_.data(), write, keyBuffer_.data(), size);
  }
  // It reports no status; a key is never empty, so 0 means it could not
  // allocate its working memory.
  if (size == 0) throw std::bad_alloc();
  key.append(reinterpret_cast<const char*>(keyBuffer_.data()), static_cast<std::size_t>(size));  // ends in its 0 byte
  if (invalid_) key.append(line);
}

}  // namespace platform
