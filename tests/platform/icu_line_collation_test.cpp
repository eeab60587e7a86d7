#include "platform/icu_line_collation.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <random>

#include "../harvest/gbk.h"
#include "tools/ordered_merge.h"

namespace platform {
namespace {

class IcuCollationTest : public testing::Test {
 protected:
  std::string Key(const std::string& gbkLine) {
    std::string key;
    collation_.AppendSortKey(gbkLine, key);
    return key;
  }
  bool Same(const std::string& a, const std::string& b) { return Key(a) == Key(b); }
  bool Before(const std::string& a, const std::string& b) { return Key(a) < Key(b); }

  IcuLineCollation collation_{"zh_CN"};
};

// GBK's compatibility ideographs and the ordinary characters they decompose
// to canonically: every such pair GBK holds (it has no combining marks).
const std::pair<std::string, std::string> kCanonicalTwins[] = {
    {"\xC0\xC9", "\xFD\x9C"}, {"\xC1\xB9", "\xFD\x9D"}, {"\xB6\x6A", "\xFD\x9E"},
    {"\xD1\x59", "\xFD\x9F"}, {"\xEB\x4F", "\xFD\xA0"}, {"\xD8\xA3", "\xFE\x40"},
    {"\x86\xD8", "\xFE\x41"}, {"\xC0\xF1", "\xFE\x47"}, {"\xCC\x55", "\xFE\x49"},
};

TEST_F(IcuCollationTest, LinesAreTheSameExactlyWhenTheyDifferOnlyInLetterCase) {
  const std::tuple<std::string, std::string, bool> cases[] = {
      // line, line, the same
      {"Apple", "APPLE", true},
      {"apple pie", "Apple Pie", true},
      {Gbk("ＡＢＣ"), Gbk("ａｂｃ"), true},  // full-width Latin
      {Gbk("Σσ"), Gbk("σΣ"), true},          // Greek, which GBK holds
      {Gbk("ΑΒΓ"), Gbk("αβγ"), true},
      {Gbk("ЖЁ"), Gbk("жё"), true},  // Cyrillic too
      {Gbk("Ⅳ"), Gbk("ⅳ"), true},    // Roman numerals have a case
      {Gbk("手机"), Gbk("手机"), true},
      {std::string("A\0b", 3), std::string("a\0B", 3), true},
      {"A\x81", "a\x81", true},       // a stray lead byte after a letter
      {Gbk("１３８"), "138", false},  // full-width digits
      {Gbk("Ａ"), "a", false},        // a full-width letter
      {Gbk("Ⅰ"), "I", false},         // a numeral is no letter
      {Gbk("a　b"), "a b", false},    // U+3000 and a space
      {"a\x01", "a", false},          // a control character
      {"a\t", "a", false},
      {std::string("a\0", 2), "a", false},  // a zero byte
      {std::string("\0", 1), "", false},
      {"a ", "a", false},  // a trailing blank
      {Gbk("手机"), Gbk("手 机"), false},
      {Gbk("ü"), Gbk("u¨"), false},  // composed, and spelled out
      {Gbk("Ё"), Gbk("Е¨"), false},
      {Gbk("が"), Gbk("か゛"), false},
      {"x\x81", "x\x81", true},   // not GBK, the same bytes
      {"x\x81", "x\x82", false},  // both decode to the same U+001A
      {"x\x81", "x", false},      // a stray lead byte at the end
  };
  for (const auto& [a, b, same] : cases) {
    EXPECT_EQ(Same(a, b), same) << testing::PrintToString(a) << " " << testing::PrintToString(b);
  }
  for (const auto& [ordinary, twin] : kCanonicalTwins) {
    EXPECT_FALSE(Same(ordinary, twin)) << testing::PrintToString(twin);
    EXPECT_FALSE(Same("A" + ordinary, "a" + twin)) << testing::PrintToString(twin);
  }
}

TEST_F(IcuCollationTest, CanonicalTwinsSortSideBySideAmongAllGbkCharacters) {
  // Every byte and every lead-trail pair as a line, in the order of keys.
  std::vector<std::pair<std::string, std::string>> keyed;  // key, line
  auto add = [&](std::string line) { keyed.emplace_back(Key(line), std::move(line)); };
  for (int b = 0; b < 0x100; ++b) add(std::string(1, static_cast<char>(b)));
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail != 0x7F) add({static_cast<char>(lead), static_cast<char>(trail)});
    }
  }
  std::sort(keyed.begin(), keyed.end());
  auto place = [&keyed](const std::string& line) {
    return std::find_if(keyed.begin(), keyed.end(),
                        [&line](const auto& k) { return k.second == line; }) -
           keyed.begin();
  };
  for (const auto& [ordinary, twin] : kCanonicalTwins) {
    EXPECT_EQ(place(twin) - place(ordinary), 1) << testing::PrintToString(twin);
  }
}

TEST_F(IcuCollationTest, OrdersByTheLocale) {
  EXPECT_TRUE(Before("", "0"));
  EXPECT_TRUE(Before("12", "123"));  // a line that begins another comes first
  EXPECT_TRUE(Before("123", "13"));  // digits from the left
  EXPECT_TRUE(Before("9", "a"));     // digits before letters
  EXPECT_TRUE(Before("apple", "Banana"));
  // Han characters by their pinyin: a, bo, ci, de.
  EXPECT_TRUE(Before(Gbk("啊"), Gbk("波")));
  EXPECT_TRUE(Before(Gbk("波"), Gbk("次")));
  EXPECT_TRUE(Before(Gbk("次"), Gbk("的")));
}

// Whole keys go through ICU's converter; parts, comparisons and identities
// through the collation's own GBK table, partial keys and ucol_strcoll.
// They must all agree, whatever the bytes.
TEST_F(IcuCollationTest, PartsComparisonsAndIdentitiesAgreeWithWholeKeys) {
  const std::vector<std::string> pieces = {
      "a",        "B",         "z",
      "Q",        "0",         "7",
      " ",        "\t",        std::string(1, '\0'),
      "\x01",     "\x7F",      "-",
      "~",        Gbk("手"),   Gbk("机"),
      Gbk("啊"),  Gbk("ＡＢ"), Gbk("ａ"),
      Gbk("１"),  Gbk("Σσ"),   Gbk("Ж"),
      Gbk("Ⅳ"),   Gbk("　"),   "\xFD\x9C",
      "\xC0\xC9",  // a canonical twin and its ordinary character
      "\x81",     "\x80",      "\xFF",
      "\x81\x20", "\xA1\x7F",  "\xFE\xFE",  // stray and unassigned bytes
  };
  std::mt19937 rng(17);
  std::vector<std::string> lines{""};
  for (int i = 0; i < 3000; ++i) {
    std::string line;
    for (int n = static_cast<int>(rng() % 14); n > 0; --n) line += pieces[rng() % pieces.size()];
    lines.push_back(line);
    std::string recased = line;  // the same line in another letter case
    for (char& c : recased) {
      if (std::isalpha(static_cast<unsigned char>(c))) c = static_cast<char>(c ^ 0x20);
    }
    lines.push_back(recased);
  }
  // Long lines get their parts from their beginnings, unless ICU reads to
  // the end of those (ignored control characters).
  for (const std::string& unit :
       {std::string("a"), Gbk("手"), std::string("1"), std::string("\x01"), std::string("aB")}) {
    std::string line;
    while (line.size() < (80u << 10)) line += unit;
    lines.push_back(line + "z");
    lines.push_back(line + "Z");
  }
  std::vector<std::string> keys;
  for (const auto& line : lines) keys.push_back(Key(line));
  auto sign = [](int v) { return (v > 0) - (v < 0); };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& a = lines[i];
    for (const std::size_t offset : {0, 5, 8, 16, 24, 48}) {
      ASSERT_EQ(collation_.KeyPrefix(a, offset), tools::KeyPrefixOf(keys[i], offset))
          << testing::PrintToString(a) << " at " << offset;
    }
    for (const std::size_t j : {i ^ 1, static_cast<std::size_t>(rng() % lines.size())}) {
      const std::string& b = lines[j];
      ASSERT_EQ(sign(collation_.Compare(a, b)), sign(keys[i].compare(keys[j])))
          << testing::PrintToString(a) << " " << testing::PrintToString(b);
      std::string identityA, identityB;
      collation_.AppendIdentity(a, identityA);
      collation_.AppendIdentity(b, identityB);
      ASSERT_EQ(identityA == identityB, keys[i] == keys[j])
          << testing::PrintToString(a) << " " << testing::PrintToString(b);
    }
  }
}

// Digit lines meet other lines by their key prefixes, which after a few
// thousand lines the collation computes without the collator: still those
// of the whole keys, and in the same order against other lines' prefixes.
TEST_F(IcuCollationTest, DigitKeyPrefixesAgreeWithWholeKeysBeforeAndAfterLearning) {
  std::mt19937_64 rng(5);
  const std::string others[] = {Gbk("１３８"), "138 ", "13800000000\x01", "", "x", Gbk("手机")};
  for (int i = 0; i < 12000; ++i) {
    const auto length = static_cast<unsigned>(rng() % (tools::kMaxDigitLineLength + 1));
    const std::uint64_t value = rng() % tools::kPowersOf10[length];
    char digits[tools::kMaxDigitLineLength];
    const std::string line(digits, tools::FormatDigits(value, length, digits));
    const std::uint64_t prefix = collation_.DigitKeyPrefix(value, length);
    ASSERT_EQ(prefix, tools::KeyPrefixOf(Key(line))) << line;
    const std::string& other = others[rng() % std::size(others)];
    const std::uint64_t otherPrefix = tools::KeyPrefixOf(Key(other));
    if (prefix != otherPrefix) {
      ASSERT_EQ(prefix < otherPrefix, collation_.Compare(line, other) < 0) << line;
    }
  }
}

TEST_F(IcuCollationTest, ACloneGivesTheSameKeys) {
  auto clone = collation_.Clone();
  for (const std::string line : {"", "abc", "ABC", "13800000000", "x\x81", "\xCA\xD6\xBB\xFA"}) {
    std::string key;
    clone->AppendSortKey(line, key);
    EXPECT_EQ(key, Key(line));
  }
}

TEST(IcuLineCollation, TakesTheUsersLocaleAndChineseForCAndPosix) {
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      // LC_ALL, LC_COLLATE, LANG -> locale
      {"", "", "", "zh_CN"},
      {"", "", "C", "zh_CN"},
      {"", "", "C.UTF-8", "zh_CN"},
      {"", "", "POSIX", "zh_CN"},
      {"", "", "en_US.UTF-8", "en_US"},
      {"", "de_DE.UTF-8", "en_US.UTF-8", "de_DE"},
      {"fr_FR@euro", "de_DE.UTF-8", "en_US.UTF-8", "fr_FR"},
      {"", "", "zh_TW.Big5", "zh_TW"},
  };
  for (const auto& [all, collate, lang, expected] : cases) {
    ::setenv("LC_ALL", all, 1);
    ::setenv("LC_COLLATE", collate, 1);
    ::setenv("LANG", lang, 1);
    EXPECT_EQ(IcuLineCollation::UserLocale(), expected) << all << "|" << collate << "|" << lang;
  }
  ::unsetenv("LC_ALL");
  ::unsetenv("LC_COLLATE");
  ::unsetenv("LANG");
}

}  // namespace
}  // namespace platform
