#include "harvest/query_url.h"

#include <gtest/gtest.h>

#include "gbk.h"

namespace harvest {
namespace {

TEST(EncodeKeyword, EncodesByteByByte) {
  const std::pair<std::string, const char*> cases[] = {
      {"", ""},
      {"abc", "abc"},
      {"a b", "a+b"},
      {"AZaz09", "AZaz09"},
      {"a-b.c", "a%2Db%2Ec"},
      {"_*~!", "%5F%2A%7E%21"},
      {"50%", "50%25"},  // already encoded text is encoded again
      {"\xCA\xD6\xBB\xFA", "%CA%D6%BB%FA"},
      {"\xAB", "%AB"},  // upper-case hex only
      {std::string("\0\t\x7F", 3), "%00%09%7F"},
  };
  for (const auto& [in, out] : cases)
    EXPECT_EQ(EncodeKeyword(in), out) << testing::PrintToString(in);
}

TEST(QueryUrl, TrimsEncodesAndAppendsTheOffset) {
  const std::string base = MakeKeywordBase(kQueryPrefix, " \t" + Gbk("手机") + " shop \r");
  EXPECT_EQ(base,
            "http://www.baidu.com/baidu?lm=0&si=&rn=10&ie=gb2312&ct=0&word=%CA%D6%BB%FA+shop&pn=");
  EXPECT_EQ(MakePageUrl(base, 20), base + "20&cl=3");
  EXPECT_EQ(MakePageUrl(base, 0), base + "0&cl=3");
  EXPECT_EQ(MakePageUrl(base, 740), base + "740&cl=3");
}

TEST(QueryUrl, ABlankKeywordLeavesTheWordEmpty) {
  EXPECT_EQ(MakeKeywordBase("http://h/s?word=", "   "), "http://h/s?word=&pn=");
  EXPECT_EQ(MakeKeywordBase("http://h/s?word=", ""), "http://h/s?word=&pn=");
}

}  // namespace
}  // namespace harvest
