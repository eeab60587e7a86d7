#include "platform/icu_line_collation.h"

#include <unicode/uchar.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace platform {
namespace {

void Check(UErrorCode status, const char* what) {
  if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
  if (U_FAILURE(status)) throw std::runtime_error(std::string(what) + ": " + u_errorName(status));
}

bool IsTrailByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// GBK characters that have a letter case (ASCII and full-width Latin,
// Greek, Cyrillic, the Roman numerals), mapped to the GBK bytes of their
// simple case folding when that is a GBK character of the same length.
// Built once from ICU's own tables.
class GbkCaseFolding {
 public:
  static const GbkCaseFolding& Table() {
    static const GbkCaseFolding table;
    return table;
  }

  // Appends `line` with each such character folded. A GBK character is a
  // lead byte 81..FE with a trail byte 40..FE other than 7F, or one byte;
  // a lead byte without its trail stands alone.
  void AppendFolded(std::string_view line, std::string& out) const {
    const std::size_t at = out.size();
    out.append(line);
    char* p = out.data() + at;
    const std::size_t n = line.size();
    for (std::size_t i = 0; i < n; ++i) {
      const auto lead = static_cast<unsigned char>(p[i]);
      if (lead >= 0x81 && lead <= 0xFE && i + 1 < n && IsTrailByte(p[i + 1])) {
        const std::uint16_t to = folded_[lead << 8 | static_cast<unsigned char>(p[i + 1])];
        if (to != 0) {
          p[i] = static_cast<char>(to >> 8);
          p[i + 1] = static_cast<char>(to & 0xFF);
        }
        ++i;
      } else if (folded_[lead] != 0) {
        p[i] = static_cast<char>(folded_[lead]);
      }
    }
  }

 private:
  GbkCaseFolding() : folded_(0x10000, 0) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> gbk(ucnv_open("GBK", &status), ucnv_close);
    Check(status, "ucnv_open");
    // Strict both ways: characters GBK holds, without fallback mappings.
    ucnv_setToUCallBack(gbk.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(gbk.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    Check(status, "ucnv_setCallBack");
    for (UChar32 c = 0; c <= 0xFFFF; ++c) {
      const UChar32 fold = u_foldCase(c, U_FOLD_CASE_DEFAULT);
      if (fold == c) continue;
      const std::string from = Encode(gbk.get(), c);
      const std::string to = Encode(gbk.get(), fold);
      if (from.empty() || from.size() != to.size()) continue;
      folded_[Code(from)] = Code(to);
    }
  }

  // The GBK bytes of `c` when they decode back to it, else nothing.
  static std::string Encode(UConverter* gbk, UChar32 c) {
    const UChar unit = static_cast<UChar>(c);
    char bytes[4];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucnv_fromUChars(gbk, bytes, sizeof bytes, &unit, 1, &status);
    if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    if (U_FAILURE(status) || length < 1 || length > 2) return {};
    UChar back[4];
    const int32_t units = ucnv_toUChars(gbk, back, 4, bytes, length, &status);
    if (U_FAILURE(status) || units != 1 || back[0] != unit) return {};
    return std::string(bytes, static_cast<std::size_t>(length));
  }

  static std::uint16_t Code(const std::string& bytes) {
    std::uint16_t code = 0;
    for (const char b : bytes)
      code = static_cast<std::uint16_t>(code << 8 | static_cast<unsigned char>(b));
    return code;
  }

  // By a single byte, or by lead << 8 | trail: the folded byte or pair, 0
  // for a character without a case.
  std::vector<std::uint16_t> folded_;
};

std::string IcuLocaleName(std::string name) {
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return "zh_CN";
  return name;
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
  GbkCaseFolding::Table();
  UErrorCode status = U_ZERO_ERROR;
  collator_ = ucol_open(locale_.c_str(), &status);
  Check(status, "ucol_open");
  ucol_setStrength(collator_, UCOL_IDENTICAL);
  gbk_ = ucnv_open("GBK", &status);
  Check(status, "ucnv_open");
}

IcuLineCollation::IcuLineCollation(UCollator* collator, std::string locale)
    : locale_(std::move(locale)), collator_(collator) {
  UErrorCode status = U_ZERO_ERROR;
  gbk_ = ucnv_open("GBK", &status);
  Check(status, "ucnv_open");
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
  folded_.clear();
  GbkCaseFolding::Table().AppendFolded(line, folded_);

  // GBK to UTF-16: never more units than bytes.
  text_.resize(folded_.size() + 1);
  ucnv_resetToUnicode(gbk_);
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length =
      ucnv_toUChars(gbk_, text_.data(), static_cast<int32_t>(text_.size()), folded_.data(),
                    static_cast<int32_t>(folded_.size()), &status);
  Check(status, "ucnv_toUChars");

  if (keyBuffer_.size() < 64) keyBuffer_.resize(256);
  int32_t size = ucol_getSortKey(collator_, text_.data(), length, keyBuffer_.data(),
                                 static_cast<int32_t>(keyBuffer_.size()));
  if (size > static_cast<int32_t>(keyBuffer_.size())) {
    keyBuffer_.resize(static_cast<std::size_t>(size));
    size = ucol_getSortKey(collator_, text_.data(), length, keyBuffer_.data(), size);
  }
  // It reports no status; a key is never empty, so 0 means it could not
  // allocate its working memory.
  if (size == 0) throw std::bad_alloc();
  // The key ends in a 0 byte and holds none before it, so what follows
  // decides only between lines whose keys are equal.
  key.append(reinterpret_cast<const char*>(keyBuffer_.data()), static_cast<std::size_t>(size));
  key.append(folded_);
}

}  // namespace platform
