#include "platform/gbk_codec.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(GbkCodec, ConvertsBothWaysAtTheEdges) {
  EXPECT_EQ(ToGbk(QStringLiteral("手机 abc")), "\xCA\xD6\xBB\xFA abc");
  EXPECT_EQ(FromGbk("\xCA\xD6\xBB\xFA abc"), QStringLiteral("手机 abc"));
  EXPECT_EQ(ToGbk(QString()), "");
  EXPECT_EQ(FromGbk(""), QString());
  // Full-width forms and the ideographic space are GBK too.
  EXPECT_EQ(FromGbk(ToGbk(QStringLiteral("１３８　！"))), QStringLiteral("１３８　！"));
}

TEST(GbkCodec, CharactersGbkLacksBecomeQuestionMarks) {
  EXPECT_EQ(ToGbk(QStringLiteral("a\u0E01b")), "a?b");    // a Thai letter
  EXPECT_EQ(ToGbk(QStringLiteral("x\U0001F600y")), "x?y");  // an emoji: one "?" for the pair
}

TEST(GbkCodec, AnIncompleteCharacterBecomesAReplacementCharacter) {
  EXPECT_EQ(FromGbk("ab\x81"), QStringLiteral("ab\uFFFD"));
  // The code page's own oddities go round trip, as on Windows: 0x80 is the
  // euro sign, 0xFF a private-use character.
  EXPECT_EQ(FromGbk("\x80"), QStringLiteral("\u20AC"));
  EXPECT_EQ(ToGbk(FromGbk("\xFF")), "\xFF");
}

}  // namespace
}  // namespace platform
