#include "platform/icu_line_collation.h"

#include <unicode/uchar.h>
#include <unicode/uiter.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "tools/ordered_merge.h"

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

// GBK's characters as UTF-16, as ICU's converter gives each of them: the
// single bytes and every lead-trail pair that stands for one character. A
// line made of these alone decodes here exactly as the converter decodes
// it (GBK has no state); anything else (a stray lead byte, an unassigned
// pair) is left to the converter.
class GbkDecoding {
 public:
  static const GbkDecoding& Table() {
    static const GbkDecoding table;
    return table;
  }

  // False when the converter is needed.
  bool Decode(std::string_view bytes, UChar* out, int32_t& length) const {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    int32_t units = 0;
    for (std::size_t i = 0; i < n;) {
      const unsigned lead = p[i];
      if (lead < 0x80) {
        out[units++] = static_cast<UChar>(lead);
        ++i;
        continue;
      }
      UChar unit = 0;
      if (lead >= 0x81 && lead <= 0xFE && i + 1 < n && IsTrailByte(static_cast<char>(p[i + 1]))) {
        unit = pairs_[(lead - 0x81) * kTrails + (p[i + 1] - 0x40)];
        i += 2;
      } else {
        unit = singles_[lead];
        ++i;
      }
      if (unit == 0) return false;
      out[units++] = unit;
    }
    length = units;
    return true;
  }

 private:
  static constexpr int kTrails = 0xFF - 0x40;

  GbkDecoding() : pairs_(static_cast<std::size_t>(0xFE - 0x81 + 1) * kTrails, 0) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> gbk(ucnv_open("GBK", &status), ucnv_close);
    Check(status, "ucnv_open");
    for (int b = 0x80; b <= 0xFF; ++b) singles_[b] = Unit(gbk.get(), {static_cast<char>(b)});
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        pairs_[static_cast<std::size_t>((lead - 0x81) * kTrails + (trail - 0x40))] =
            Unit(gbk.get(), {static_cast<char>(lead), static_cast<char>(trail)});
      }
    }
  }

  // The one UTF-16 unit `bytes` decode to, or 0 for none, several or the
  // substitute for bytes the converter cannot map.
  static UChar Unit(UConverter* gbk, std::string bytes) {
    UChar units[4];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_resetToUnicode(gbk);
    const int32_t count =
        ucnv_toUChars(gbk, units, 4, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    if (U_FAILURE(status) || count != 1 || units[0] == 0x1A || units[0] == 0xFFFD) return 0;
    return units[0];
  }

  UChar singles_[0x100] = {};
  std::vector<UChar> pairs_;
};

// Lines longer than this get their key prefixes from a beginning of theirs
// first; ICU may read a little ahead of the characters it has weighed.
constexpr std::size_t kLongLine = 64 << 10;
constexpr std::size_t kLongLineBeginning = 16 << 10;
constexpr int32_t kReadAhead = 64;

// The weights of digit lines are learned only once the merge has asked for
// this many digit key prefixes: learning costs some 1,200 keys, repaid only
// where many numbers meet other lines, and a merge of a few lines never
// pays it.
constexpr unsigned kDigitProbesBeforeLearning = 4096;
// Long digit lines checked at random while learning; with the 1,110 short
// ones checked in full, a collation that weighs digits by their neighbours
// shows itself.
constexpr unsigned kLongDigitSamples = 200;
constexpr unsigned kPrefixBytes = 8;

// The end of the whole GBK characters among the first `bytes` bytes of `line`.
std::size_t CharacterBoundary(std::string_view line, std::size_t bytes) {
  std::size_t i = 0;
  while (i < bytes && i < line.size()) {
    const auto lead = static_cast<unsigned char>(line[i]);
    const std::size_t length =
        lead >= 0x81 && lead <= 0xFE && i + 1 < line.size() && IsTrailByte(line[i + 1]) ? 2 : 1;
    if (i + length > bytes) break;
    i += length;
  }
  return i;
}

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
  GbkDecoding::Table();
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

void IcuLineCollation::PrepareWithConverter(std::string_view line, Prepared& out) {
  out.folded.clear();
  GbkCaseFolding::Table().AppendFolded(line, out.folded);
  // GBK to UTF-16: never more units than bytes.
  out.text.resize(out.folded.size() + 1);
  ucnv_resetToUnicode(gbk_);
  UErrorCode status = U_ZERO_ERROR;
  out.length = ucnv_toUChars(gbk_, out.text.data(), static_cast<int32_t>(out.text.size()),
                             out.folded.data(), static_cast<int32_t>(out.folded.size()), &status);
  Check(status, "ucnv_toUChars");
}

void IcuLineCollation::Prepare(std::string_view line, Prepared& out) {
  out.folded.clear();
  GbkCaseFolding::Table().AppendFolded(line, out.folded);
  if (out.text.size() < out.folded.size() + 1) out.text.resize(out.folded.size() + 1);
  if (GbkDecoding::Table().Decode(out.folded, out.text.data(), out.length)) return;
  PrepareWithConverter(line, out);
}

void IcuLineCollation::AppendSortKey(std::string_view line, std::string& key) {
  // The whole key, through the converter: the reference the faster
  // answers below are held to.
  PrepareWithConverter(line, first_);
  if (keyBuffer_.size() < 64) keyBuffer_.resize(256);
  int32_t size = ucol_getSortKey(collator_, first_.text.data(), first_.length, keyBuffer_.data(),
                                 static_cast<int32_t>(keyBuffer_.size()));
  if (size > static_cast<int32_t>(keyBuffer_.size())) {
    keyBuffer_.resize(static_cast<std::size_t>(size));
    size = ucol_getSortKey(collator_, first_.text.data(), first_.length, keyBuffer_.data(), size);
  }
  // It reports no status; a key is never empty, so 0 means it could not
  // allocate its working memory.
  if (size == 0) throw std::bad_alloc();
  // The key ends in a 0 byte and holds none before it, so what follows
  // decides only between lines whose keys are equal.
  key.append(reinterpret_cast<const char*>(keyBuffer_.data()), static_cast<std::size_t>(size));
  key.append(first_.folded);
}

std::uint64_t IcuLineCollation::KeyPrefix(std::string_view line, std::size_t offset) {
  const std::size_t wanted = offset + 8;
  if (keyBuffer_.size() < wanted) keyBuffer_.resize(std::max<std::size_t>(wanted, 256));
  // ICU stops reading once it has written the bytes asked for: for a long
  // line a beginning gives them, unless ICU read (nearly) to its end, as
  // over characters it ignores, or the key ended there.
  if (line.size() > kLongLine) {
    Prepare(line.substr(0, CharacterBoundary(line, kLongLineBeginning + 64 * wanted)), first_);
    int32_t readTo = 0;
    const std::size_t written = KeyBeginning(first_, wanted, &readTo);
    if (written == wanted && readTo + kReadAhead < first_.length)
      return KeyPrefixFrom(first_, written, offset);
  }
  Prepare(line, first_);
  return KeyPrefixFrom(first_, KeyBeginning(first_, wanted, nullptr), offset);
}

std::size_t IcuLineCollation::KeyBeginning(const Prepared& text, std::size_t wanted,
                                           int32_t* readTo) {
  UCharIterator iterator;
  uiter_setString(&iterator, text.text.data(), text.length);
  uint32_t state[2] = {0, 0};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t written = ucol_nextSortKeyPart(collator_, &iterator, state, keyBuffer_.data(),
                                               static_cast<int32_t>(wanted), &status);
  Check(status, "ucol_nextSortKeyPart");
  if (readTo) *readTo = iterator.getIndex(&iterator, UITER_CURRENT);
  return static_cast<std::size_t>(written);
}

// The key prefix at `offset` of the key whose first ICU bytes are in keyBuffer_:
// past them the closing 0, then the folded line.
std::uint64_t IcuLineCollation::KeyPrefixFrom(const Prepared& text, std::size_t icuBytes,
                                              std::size_t offset) const {
  std::uint64_t prefix = 0;
  for (std::size_t at = offset; at < offset + 8; ++at) {
    unsigned byte = 0;
    if (at < icuBytes) {
      byte = keyBuffer_[at];
    } else if (at > icuBytes && at - icuBytes - 1 < text.folded.size()) {
      byte = static_cast<unsigned char>(text.folded[at - icuBytes - 1]);
    }
    prefix = prefix << 8 | byte;
  }
  return prefix;
}

int IcuLineCollation::Compare(std::string_view a, std::string_view b) {
  Prepare(a, first_);
  Prepare(b, second_);
  if (first_.folded == second_.folded) return 0;
  const UCollationResult order = ucol_strcoll(collator_, first_.text.data(), first_.length,
                                              second_.text.data(), second_.length);
  if (order != UCOL_EQUAL) return order;
  return first_.folded.compare(second_.folded);
}

void IcuLineCollation::AppendIdentity(std::string_view line, std::string& identity) {
  GbkCaseFolding::Table().AppendFolded(line, identity);
}

bool IcuLineCollation::LearnDigitWeights() {
  char digits[tools::kMaxDigitLineLength];
  for (unsigned d = 0; d < 10; ++d) {
    digits[0] = static_cast<char>('0' + d);
    digitWeight_[d] = static_cast<unsigned char>(KeyPrefix(std::string_view(digits, 1)) >> 56);
  }
  // Every digit string of up to three digits begins its key with their
  // weights, and long ones (a fixed spread of them) are exactly that.
  for (unsigned length = 1; length <= 3; ++length) {
    for (unsigned n = 0; n < tools::kPowersOf10[length]; ++n) {
      tools::FormatDigits(n, length, digits);
      const std::uint64_t prefix = KeyPrefix(std::string_view(digits, length));
      for (unsigned i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(prefix >> (56 - 8 * i)) != digitWeight_[digits[i] - '0'])
          return false;
      }
    }
  }
  std::uint64_t state = 0x9E3779B97F4A7C15ULL;  // any seed: the spread is fixed
  for (unsigned sample = 0; sample < kLongDigitSamples; ++sample) {
    // Knuth's MMIX linear congruential generator.
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const unsigned length = kPrefixBytes + static_cast<unsigned>(state >> 60) %
                                               (tools::kMaxDigitLineLength - kPrefixBytes + 1);
    tools::FormatDigits((state >> 3) % tools::kPowersOf10[length], length, digits);
    std::uint64_t direct = 0;
    for (std::size_t i = 0; i < kPrefixBytes; ++i)
      direct = direct << 8 | digitWeight_[digits[i] - '0'];
    if (KeyPrefix(std::string_view(digits, length)) != direct) return false;
  }
  return true;
}

std::uint64_t IcuLineCollation::DigitKeyPrefix(std::uint64_t value, unsigned length) {
  if (value == lastDigitValue_ && length == lastDigitLength_) return lastDigitPrefix_;
  lastDigitValue_ = value;
  lastDigitLength_ = length;
  if (!digitWeightsTried_ && ++digitLinesAsked_ > kDigitProbesBeforeLearning) {
    digitWeightsTried_ = true;
    digitByteEach_ = LearnDigitWeights();
  }
  if (digitByteEach_ && length >= kPrefixBytes) {
    // The first 8 of the digits, one weight each.
    const std::uint64_t first = value / tools::kPowersOf10[length - kPrefixBytes];
    std::uint64_t prefix = 0;
    for (unsigned i = 0; i < kPrefixBytes; ++i)
      prefix |= static_cast<std::uint64_t>(digitWeight_[first / tools::kPowersOf10[i] % 10])
                << (8 * i);
    return lastDigitPrefix_ = prefix;
  }
  return lastDigitPrefix_ = tools::LineCollation::DigitKeyPrefix(value, length);
}

}  // namespace platform
