#include "harvest/page_scanner.h"

#include <gtest/gtest.h>

#include "fake_world.h"
#include "gbk.h"

namespace harvest {
namespace {

class ScanNumbersTest : public testing::Test {
 protected:
  ScanNumbersTest() { results.SetObserver(&list); }

  std::vector<std::string> Scan(const LineList& lines) {
    ScanNumbers(lines, state, results, dedupe);
    return results.Rows();
  }

  fakes::FakeReports list;  // hears the list's changes
  bool dedupe = false;
  ResultList results;
  ScanState state{"13", "15", 0, {}};
};

using Rows = std::vector<std::string>;

TEST_F(ScanNumbersTest, TakesOnlyRunsOfExactlyElevenDigits) {
  const std::pair<std::string, Rows> cases[] = {
      {"tel 13912345678.", {"13912345678"}},
      {"1391234567 short", {}},             // 10 digits
      {"139123456789 long", {}},            // 12 digits
      {"13912345678abc", {"13912345678"}},  // a letter ends the run
      {"+8613912345678", {"13912345678"}},  // country code directly before
      {"x8613912345678", {"13912345678"}},
      {"15012345678", {"15012345678"}},
      {"14012345678 12012345678", {}},  // other prefixes are no numbers
      {"\xCA\xD6\xBB\xFA"
       "13812345678",
       {"13812345678"}},  // after GBK bytes
  };
  for (const auto& [line, rows] : cases) {
    SCOPED_TRACE(line);
    results.Clear();
    EXPECT_EQ(Scan({line}), rows);
  }
}

TEST_F(ScanNumbersTest, ThreeRoundsOfAThenBInterleaved) {
  // Four "13" numbers: three rounds take three of them.
  EXPECT_EQ(Scan({"13000000001 13000000002 13000000003 13000000004"}),
            (Rows{"13000000001", "13000000002", "13000000003"}));
  results.Clear();
  EXPECT_EQ(Scan({"13000000001 15000000001 13000000002 15000000002 13000000003 15000000003 "
                  "13000000004 15000000004"}),
            (Rows{"13000000001", "15000000001", "13000000002", "15000000002", "13000000003",
                  "15000000003"}));
  results.Clear();
  // B numbers before the next A number are found in the order A, B, A, B...
  EXPECT_EQ(Scan({"15000000001 13000000001 15000000002 13000000002"}),
            (Rows{"13000000001", "15000000002", "13000000002"}));
}

TEST_F(ScanNumbersTest, AFindDropsEverythingBeforeIt) {
  // Step A finds the "13" number first; the "15" number before it is gone.
  EXPECT_EQ(Scan({"15912345678 then 13812345678"}), (Rows{"13812345678"}));
  EXPECT_EQ(state.foundCount, 1);
}

TEST_F(ScanNumbersTest, OnlyTheNext255BytesFromAFindAreScanned) {
  const std::string number = "13800000001";
  // The second number starts at byte 244 from the first: it ends at 254, in.
  const std::string inside = number + std::string(233, ' ') + "15900000001";
  EXPECT_EQ(Scan({inside}), (Rows{"13800000001", "15900000001"}));
  results.Clear();
  // One byte further it would end at 255, beyond the limit: cut to 10 digits.
  const std::string beyond = number + std::string(234, ' ') + "15900000001";
  EXPECT_EQ(Scan({beyond}), (Rows{"13800000001"}));
  results.Clear();
  // The limit counts from the first "13", not from the line's start.
  const std::string lead(1000, 'x');
  EXPECT_EQ(Scan({lead + beyond}), (Rows{"13800000001"}));
  results.Clear();
  EXPECT_EQ(Scan({lead + inside}), (Rows{"13800000001", "15900000001"}));
}

TEST_F(ScanNumbersTest, EachLineStartsAFreshRest) {
  EXPECT_EQ(Scan({"13000000001 13000000002 13000000003 13000000004", "13000000005", ""}),
            (Rows{"13000000001", "13000000002", "13000000003", "13000000005"}));
  EXPECT_EQ(state.foundCount, 4);
  EXPECT_EQ(list.scrolledTo, 3);
}

TEST_F(ScanNumbersTest, DeduplicatesAgainstTheRowsOnlyWhenTheBoxIsTicked) {
  const LineList page{"13800000001 13800000001", "13800000001"};
  EXPECT_EQ(Scan(page), (Rows{"13800000001", "13800000001", "13800000001"}));
  EXPECT_EQ(state.foundCount, 3);

  dedupe = true;
  EXPECT_EQ(Scan(page).size(), 3u);  // already listed: nothing added, nothing counted
  EXPECT_EQ(state.foundCount, 3);
  EXPECT_EQ(Scan({"15800000009"}).size(), 4u);
  EXPECT_EQ(state.foundCount, 4);
}

TEST_F(ScanNumbersTest, AnAdditionByAMakingFiftyOneRowsEmptiesTheList) {
  dedupe = true;
  LineList fifty;
  for (int i = 0; i < 50; ++i) fifty.push_back("13" + std::to_string(100000000 + i));
  Scan(fifty);
  ASSERT_EQ(results.Count(), 50);
  const int clearsBefore = list.clears;

  // A fiftieth-first "15" number does not empty the list...
  Scan({"15000000000"});
  EXPECT_EQ(results.Count(), 51);
  // ...but the next "13" addition does, and the count goes on.
  Scan({"13999999999"});
  EXPECT_EQ(results.Count(), 0);
  EXPECT_EQ(list.clears, clearsBefore + 1);
  EXPECT_EQ(state.foundCount, 52);

  // With the list emptied, a number seen before is new again.
  Scan({fifty[0]});
  EXPECT_EQ(results.Rows(), (Rows{fifty[0]}));
  EXPECT_EQ(state.foundCount, 53);
}

TEST_F(ScanNumbersTest, EveryNumberCountedIsHandedOnInOrderAlsoThoseTheListDropsAgain) {
  // Pages of 30 "13" numbers: A, and B with 30 others.
  LineList a, b;
  for (int i = 0; i < 30; ++i) {
    a.push_back("13" + std::to_string(100000000 + i));
    b.push_back("13" + std::to_string(200000000 + i));
  }
  const struct {
    const char* what;
    bool dedupe;
    std::vector<const LineList*> pages;
    int counted;
    int rows;  // left in the list
  } cases[] = {
      {"de-duplication off: A twice, every number twice", false, {&a, &a}, 60, 9},
      // A's 30; B's 21st makes 51 rows and empties the list, its last 9
      // stay; A again is new to the list.
      {"de-duplication on: the clear lets A count again", true, {&a, &b, &a}, 90, 39},
      {"de-duplication on: A twice, once", true, {&a, &a}, 30, 30},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    results.Clear();
    state = ScanState{"13", "15", 0, {}};
    dedupe = c.dedupe;
    std::vector<std::string> counted;
    for (const LineList* page : c.pages) {
      Scan(*page);
      for (auto& number : std::exchange(state.counted, {})) counted.push_back(std::move(number));
    }
    EXPECT_EQ(static_cast<int>(counted.size()), c.counted);
    EXPECT_EQ(state.foundCount, c.counted);  // the run file's lines are the count
    EXPECT_EQ(results.Count(), c.rows);
    std::vector<std::string> expected;
    for (const LineList* page : c.pages)
      expected.insert(expected.end(), page->begin(), page->end());
    if (!c.dedupe || c.counted == 90) {
      EXPECT_EQ(counted, expected);  // in the order found
    }
  }
}

TEST_F(ScanNumbersTest, AnEmptyPageAddsNothing) {
  EXPECT_TRUE(Scan({}).empty());
  EXPECT_TRUE(Scan({"", "no digits here"}).empty());
  EXPECT_EQ(state.foundCount, 0);
}

TEST(HasNextPage, NeedsNextPageOnALineThatBeginsWithOneOrPreviousPage) {
  const std::string next = Gbk("下一页>");
  const std::string previous = Gbk("<上一页");
  const std::pair<LineList, bool> cases[] = {
      {{}, false},
      {{"1 2 3 4 5 " + next}, true},
      {{previous + " 2 3 4 " + next}, true},
      {{"10 " + next}, true},       // begins with the byte "1"
      {{" 1 2 3 " + next}, false},  // begins with a blank
      {{"2 3 " + next}, false},
      {{previous + " 1 2 3"}, false},  // the last page
      {{"1 2 3"}, false},
      {{"text", "1 2 " + next, "more"}, true},  // any line will do
      {{next + " 1"}, false},
      {{Gbk("下一页") + " 1"}, false},  // without ">" it is no pager
  };
  for (const auto& [lines, expected] : cases) {
    SCOPED_TRACE(testing::PrintToString(lines));
    EXPECT_EQ(HasNextPage(lines), expected);
  }
}

}  // namespace
}  // namespace harvest
