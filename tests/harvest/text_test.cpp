#include "harvest/text.h"

#include <gtest/gtest.h>

#include "harvest/errors.h"

namespace harvest {
namespace {

TEST(Trim, RemovesBytesUpToSpaceAtBothEndsOnly) {
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim(" \t\r\n\x01 "), "");
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim(std::string("\0x\0", 3)), "x");
  // Byte 0xA1 starts the GBK full-width space and is not a blank.
  EXPECT_EQ(Trim("\xA1\xA1k\xA1\xA1"), "\xA1\xA1k\xA1\xA1");
}

struct IntCase {
  const char* text;
  std::int32_t value;
};

TEST(ParseInteger, AcceptsTheIntegerForms) {
  const IntCase cases[] = {
      {"0", 0},           {"12", 12},          {"  12", 12},          {"+7", 7},
      {"-3", -3},         {"   -0010", -10},   {"$1F", 31},           {"x1f", 31},
      {"X10", 16},        {"0x10", 16},        {"0XfF", 255},         {"-$10", -16},
      {"2147483647", 2147483647},              {"-2147483648", -2147483647 - 1},
      {"$7FFFFFFF", 2147483647},               {"-$80000000", -2147483647 - 1},
      {"00000000000000000000042", 42},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseInteger(c.text), c.value);
    EXPECT_EQ(ParseIntegerOr(c.text, 99), c.value);
  }
}

TEST(ParseInteger, RejectsEverythingElseWithTheConversionMessage) {
  const char* cases[] = {"",        " ",   "12 ",         "\t12", "abc",        "1e3", "1.5", "+",
                         "-",       "$",   "0x",          "x",    "- 5",        "$G",  "12a", "++1",
                         "2147483648", "-2147483649", "$80000000", "99999999999999999999"};
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    try {
      ParseInteger(text);
      ADD_FAILURE() << "no error";
    } catch (const NotAnIntegerError& e) {
      EXPECT_EQ(e.Message(), "'" + std::string(text) + "' is not a valid integer value");
    }
    EXPECT_EQ(ParseIntegerOr(text, -7), -7);
  }
}

}  // namespace
}  // namespace harvest
