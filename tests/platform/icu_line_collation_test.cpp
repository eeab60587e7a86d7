#include "platform/icu_line_collation.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "../harvest/gbk.h"

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

TEST_F(IcuCollationTest, LinesThatDifferOnlyInLetterCaseAreTheSame) {
  EXPECT_TRUE(Same("Apple", "APPLE"));
  EXPECT_TRUE(Same("apple pie", "Apple Pie"));
  EXPECT_TRUE(Same(Gbk("Σσ"), Gbk("σΣ")));           // Greek, which GBK holds
  EXPECT_TRUE(Same(Gbk("ЖЁ"), Gbk("жё")));           // Cyrillic too
  EXPECT_TRUE(Same(Gbk("手机"), Gbk("手机")));
}

TEST_F(IcuCollationTest, EveryOtherDifferenceKeepsLinesApart) {
  EXPECT_FALSE(Same(Gbk("１３８"), "138"));           // full-width digits
  EXPECT_FALSE(Same(Gbk("Ａ"), "a"));                 // full-width letter
  EXPECT_FALSE(Same(Gbk("a　b"), "a b"));            // U+3000 and a space
  EXPECT_FALSE(Same("a\x01", "a"));                  // a control character
  EXPECT_FALSE(Same("a\t", "a"));
  EXPECT_FALSE(Same("a ", "a"));                     // a trailing blank
  EXPECT_FALSE(Same(Gbk("手机"), Gbk("手 机")));
}

TEST_F(IcuCollationTest, InvalidGbkLinesMeetOnlyWhenTheirBytesAreEqual) {
  // A lead byte without its partner: both lines decode to the same
  // replacement character, but they are different data.
  EXPECT_FALSE(Same("x\x81", "x\x82"));
  EXPECT_TRUE(Same("x\x81", "x\x81"));
  EXPECT_FALSE(Same("x\x81", "x"));
}

TEST_F(IcuCollationTest, OrdersByTheLocale) {
  EXPECT_TRUE(Before("", "0"));
  EXPECT_TRUE(Before("12", "123"));     // a line that begins another comes first
  EXPECT_TRUE(Before("123", "13"));     // digits from the left
  EXPECT_TRUE(Before("9", "a"));        // digits before letters
  EXPECT_TRUE(Before("apple", "Banana"));
  // Han characters by their pinyin: a, bo, ci, de.
  EXPECT_TRUE(Before(Gbk("啊"), Gbk("波")));
  EXPECT_TRUE(Before(Gbk("波"), Gbk("次")));
  EXPECT_TRUE(Before(Gbk("次"), Gbk("的")));
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
