#include "harvest/text_list.h"

#include <gtest/gtest.h>

namespace harvest {
namespace {

struct SplitCase {
  std::string text;
  LineList lines;
};

TEST(SplitLinesUpToNul, BreaksAtCrLfCrAndLf) {
  const SplitCase cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\n\rb", {"a", "", "b"}},      // LF then CR is two breaks
      {"a\r\n\r\n", {"a", ""}},        // only the very last break adds nothing
      {"\r\n", {""}},
      {"\n\n", {"", ""}},
      {" a \t\r\n", {" a \t"}},        // lines are not trimmed
      {std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},  // the first NUL ends the text
      {std::string("\0a", 2), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(SplitLinesUpToNul(c.text), c.lines);
  }
}

TEST(SplitAtCrLf, BreaksOnlyAtCrLfAndDropsOneEmptyLastLine) {
  const SplitCase cases[] = {
      {"", {}},
      {"one line", {"one line"}},
      {"a\r\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\r\n\r\n", {"a", ""}},
      {"a\nb\rc", {"a\nb\rc"}},  // lone LF and CR are ordinary bytes
      {"\r\n", {""}},
      {std::string("x\0\r\ny", 5), {"x"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(SplitAtCrLf(c.text), c.lines);
  }
}

TEST(JoinLines, EndsEveryLineWithCrLf) {
  EXPECT_EQ(JoinLines({}), "");
  EXPECT_EQ(JoinLines({""}), "\r\n");
  EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
  // Saving and loading gives the list back for lines without breaks.
  const LineList list{"13800000000", " x ", ""};
  EXPECT_EQ(SplitLinesUpToNul(JoinLines(list)), list);
}

}  // namespace
}  // namespace harvest
