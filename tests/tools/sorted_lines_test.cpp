#include "tools/sorted_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "fake_collation.h"
#include "tools/digit_lines.h"

namespace tools {
namespace {

using Lines = std::vector<std::string>;

Lines Sorted(const std::vector<std::string>& pieces) {
  AsciiNoCaseCollation collation;
  SortedLines lines(collation);
  for (const auto& piece : pieces) lines.Feed(piece);
  Lines out;
  const auto count = lines.Emit([&out](std::string_view line) { out.emplace_back(line); });
  EXPECT_EQ(count, static_cast<std::int64_t>(out.size()));
  return out;
}

// The defining algorithm, literally: each line inserted by bisection into a
// sorted list, dropped when an equal line is already there.
Lines ByBisection(const Lines& input) {
  AsciiNoCaseCollation collation;
  auto key = [&collation](const std::string& line) {
    std::string k;
    collation.AppendSortKey(line, k);
    return k;
  };
  Lines list;
  for (const auto& line : input) {
    const auto at = std::lower_bound(
        list.begin(), list.end(), line,
        [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
    if (at != list.end() && key(*at) == key(line)) continue;
    list.insert(at, line);
  }
  return list;
}

struct SplitCase {
  std::string content;
  Lines lines;
};

TEST(SortedLines, SplitsByTheListRulesInAnyPieces) {
  const SplitCase cases[] = {
      {"", {}},
      {"b\r\na\r\n", {"a", "b"}},
      {"b\na", {"a", "b"}},
      {"b\ra\r", {"a", "b"}},
      {"b\n\ra", {"", "a", "b"}},      // LF then CR: an empty line between
      {"b\r\n\r\na", {"", "a", "b"}},  // a blank line, which sorts first
      {"b\r\n\r\n", {"", "b"}},
      {"a\n\n\n", {"", "a"}},                    // at most one empty line survives
      {" a\r\na \r\na\r\n", {" a", "a", "a "}},  // not trimmed
      // A zero byte is a byte like others.
      {std::string("b\r\na\0c\r\nd", 9), {std::string("a\0c", 3), "b", "d"}},
      {std::string("\0a", 2), {std::string("\0a", 2)}},
      {std::string("\0\r\0", 3), {std::string("\0", 1)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.content));
    EXPECT_EQ(Sorted({c.content}), c.lines);
    // Every way of cutting the content in three gives the same lines.
    for (std::size_t i = 0; i <= c.content.size(); ++i) {
      for (std::size_t j = i; j <= c.content.size(); ++j) {
        EXPECT_EQ(Sorted({c.content.substr(0, i), c.content.substr(i, j - i), c.content.substr(j)}),
                  c.lines)
            << "cut at " << i << "," << j;
      }
    }
  }
}

TEST(SortedLines, PiecesJoinAcrossTheirBoundaries) {
  EXPECT_EQ(Sorted({"a\r\nb", "c\r\n"}), (Lines{"a", "bc"}));
  EXPECT_EQ(Sorted({"x\n", "\ry"}), (Lines{"", "x", "y"}));  // LF | CR: two breaks
  EXPECT_EQ(Sorted({"x\r", "\ny"}), (Lines{"x", "y"}));      // CR | LF: one
  EXPECT_EQ(Sorted({"x\r", "", "\ny"}), (Lines{"x", "y"}));
}

TEST(SortedLines, CaseVariantsKeepTheFirstAndOtherDifferencesStay) {
  EXPECT_EQ(Sorted({"Apple\nAPPLE\napple\nb\nB\n"}), (Lines{"Apple", "b"}));
  EXPECT_EQ(Sorted({"apple\nApple\n"}), (Lines{"apple"}));
  EXPECT_EQ(Sorted({"a\na \na\t\n"}), (Lines{"a", "a\t", "a "}));
}

TEST(SortedLines, DigitLinesSortByTheirDigitsFromTheLeft) {
  EXPECT_EQ(Sorted({"150\r\n138\r\n150\r\n139\r\n"}), (Lines{"138", "139", "150"}));
  EXPECT_EQ(Sorted({"2\n10\n1\n100\n\n"}), (Lines{"", "1", "10", "100", "2"}));
  // Longer than a 64-bit key holds: compared as text, still in digit order.
  EXPECT_EQ(Sorted({"1234567890123456789\n123456789012345678\n1234567890123456788\n"}),
            (Lines{"123456789012345678", "1234567890123456788", "1234567890123456789"}));
}

TEST(SortedLines, MatchesInsertionByBisectionOnMixedLines) {
  std::mt19937 rng(7);
  const char alphabet[] = "0123456789aAbB -\t";
  for (int round = 0; round < 200; ++round) {
    Lines input;
    const int count = static_cast<int>(rng() % 60);
    for (int i = 0; i < count; ++i) {
      std::string line;
      const bool digitsOnly = rng() % 2;
      const int length = static_cast<int>(rng() % 6);
      for (int k = 0; k < length; ++k)
        line += digitsOnly ? static_cast<char>('0' + rng() % 10)
                           : alphabet[rng() % (sizeof alphabet - 1)];
      input.push_back(line);
    }
    std::string content;
    for (const auto& line : input) content += line + "\r\n";
    ASSERT_EQ(Sorted({content}), ByBisection(input)) << "round " << round;
  }
}

TEST(SortedLines, DigitLinesOfEveryLengthMeetInOrderAcrossBlocksAndThreads) {
  // Megabytes of them: several blocks, split on every thread; numbers share
  // their first digits (buckets) and come in every length, short ones
  // (bitmaps), long ones (64-bit) and too long for a number (text).
  std::mt19937_64 rng(13);
  std::string content;
  std::set<std::string> distinct;
  for (int i = 0; i < 400000; ++i) {
    std::string line = rng() % 2 ? (rng() % 2 ? "13" : "15") : "";
    const int length = rng() % 2 ? 11 : static_cast<int>(rng() % 21);
    while (static_cast<int>(line.size()) < length)
      line += static_cast<char>('0' + rng() % (i % 7 == 0 ? 2 : 10));
    distinct.insert(line);
    content += line + "\r\n";
  }
  EXPECT_EQ(Sorted({content}), Lines(distinct.begin(), distinct.end()));
}

TEST(SortedLines, BytesBesideTheDigitsMakeTextLines) {
  // The digits are read eight at a time where eight bytes are there: a byte
  // next to '0' or '9' ('/', ':'), or one whose + 6 carries into the next
  // byte (0xFA..0xFF), in any place of a line of up to 19 bytes, keeps the
  // line text, and the digit lines around it keep their digits.
  Lines input;
  const char neighbours[] = {'/', ':', '\0', ' ', 'a', '\xFA', '\xFF'};
  for (std::size_t length = 1; length <= 19; ++length) {
    const std::string digits = std::string("90123456789012345678").substr(0, length);
    input.push_back(digits);
    for (std::size_t at = 0; at < length; ++at) {
      for (const char c : neighbours) {
        std::string line = digits;
        line[at] = c;
        input.push_back(line);
      }
    }
  }
  std::string content;
  for (const auto& line : input) content += line + "\n";
  EXPECT_EQ(Sorted({content}), ByBisection(input));
}

TEST(SortedLines, LinesSharingLongBeginningsAreOrderedByWhatFollows) {
  // Key parts tie for 8 bytes, for 64, for longer than the parts asked for
  // (then lines are compared), in groups of a few and of many; lines that
  // end where others go on with zero bytes.
  std::mt19937 rng(23);
  Lines input;
  for (const auto& [shared, lines] :
       std::vector<std::pair<int, int>>{{8, 40}, {16, 3}, {64, 40}, {100, 9}, {200, 60}}) {
    std::string beginning;
    for (int i = 0; i < shared; ++i) beginning += static_cast<char>('a' + rng() % 3);
    for (int i = 0; i < lines; ++i) {
      std::string line = beginning;
      for (int n = static_cast<int>(rng() % 4); n > 0; --n) line += "aB\0z"[rng() % 4];
      input.push_back(line);
    }
  }
  std::shuffle(input.begin(), input.end(), rng);
  std::string content;
  for (const auto& line : input) content += line + "\n";
  EXPECT_EQ(Sorted({content}), ByBisection(input));
}

TEST(SortedLines, FewTextLinesAmongManyNumbersCostFewKeys) {
  AsciiNoCaseCollation collation;
  SortedLines lines(collation);
  std::string content;
  for (int i = 0; i < 100000; ++i) content += "13" + std::to_string(800000000 + i) + "\r\n";
  content += "zz\r\n13800000500x\r\n";
  lines.Feed(content);
  Lines out;
  lines.Emit([&out](std::string_view line) { out.emplace_back(line); });
  ASSERT_EQ(out.size(), 100002u);
  EXPECT_EQ(out[500], "13800000500");
  EXPECT_EQ(out[501], "13800000500x");  // a line that begins another follows it
  EXPECT_EQ(out.back(), "zz");
  EXPECT_LT(collation.keysMade, 200);  // galloping, not a key per number
}

TEST(DigitOrderKey, OrdersLikeTheDigitsAndGivesThemBack) {
  std::mt19937 rng(11);
  std::vector<std::string> texts{""};
  for (int i = 0; i < 2000; ++i) {
    std::string t;
    const int length = static_cast<int>(rng() % 19);
    for (int k = 0; k < length; ++k) t += static_cast<char>('0' + rng() % 10);
    texts.push_back(t);
  }
  texts.push_back("999999999999999999");  // the largest key
  texts.push_back("000000000000000000");
  auto key = [](const std::string& t) {
    return DigitOrderKey(t.empty() ? 0 : std::stoull(t), static_cast<unsigned>(t.size()));
  };
  for (const auto& t : texts) {
    char back[kMaxDigitLineLength];
    EXPECT_EQ(std::string(back, FormatDigits(t.empty() ? 0 : std::stoull(t),
                                             static_cast<unsigned>(t.size()), back)),
              t);
  }
  for (std::size_t i = 1; i < texts.size(); ++i) {
    const auto& a = texts[i - 1];
    const auto& b = texts[i];
    EXPECT_EQ(key(a) < key(b), a < b) << a << " " << b;
    EXPECT_EQ(key(a) == key(b), a == b) << a << " " << b;
  }
}

TEST(FakeCollation, DigitKeyPrefixesAreThoseOfTheWholeKeys) {
  // The merge trusts a collation's digit key prefixes as it trusts its keys.
  for (const std::size_t padding : {0, 3, 10}) {
    AsciiNoCaseCollation collation(padding);
    for (unsigned length = 0; length <= kMaxDigitLineLength; ++length) {
      const std::uint64_t value = 1234567890123456789ULL % kPowersOf10[length];
      char digits[kMaxDigitLineLength];
      std::string key;
      collation.AppendSortKey(std::string(digits, FormatDigits(value, length, digits)), key);
      EXPECT_EQ(collation.DigitKeyPrefix(value, length), KeyPrefixOf(key)) << length;
    }
  }
}

}  // namespace
}  // namespace tools
