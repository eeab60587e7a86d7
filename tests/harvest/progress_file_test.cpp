#include "harvest/progress_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>

#include "child_process.h"
#include "gbk.h"
#include "harvest/errors.h"
#include "temp_dir.h"

namespace harvest {
namespace {

// Records what a restore applied, line by line.
struct Restored : ProgressTarget {
  void RestoreKeywordFile(const std::string& path) override { keywordFile = path; }
  void RestoreKeywordIndex(int index) override { keywordIndex = index; }
  void RestoreDeduplicate(bool on) override { deduplicate = on; }
  void RestoreInterval(int seconds) override { interval = seconds; }

  std::optional<std::string> keywordFile;
  std::optional<int> keywordIndex;
  std::optional<bool> deduplicate;
  std::optional<int> interval;
};

TEST(ProgressFile, WritesFourCrLfLinesWithTheIndexLessOne) {
  TempDir dir;
  WriteProgressFile(dir.File("mobtrawl.ini"), {"D:\\kw.txt", 5, true, 8});
  const std::string bytes = dir.Read("mobtrawl.ini");
  EXPECT_EQ(bytes, "D:\\kw.txt\r\n4\r\nqcyes\r\n8\r\n");
  EXPECT_EQ(bytes.size(), 24u);

  WriteProgressFile(dir.File("mobtrawl.ini"), {"", 0, false, 5000});
  EXPECT_EQ(dir.Read("mobtrawl.ini"), "\r\n-1\r\nqcno\r\n5000\r\n");
}

TEST(ProgressFile, AGbkPathGoesRoundTripByteForByte) {
  TempDir dir;
  const std::string path = Gbk("D:\\资料\\手机关键字.txt");
  WriteProgressFile(dir.File("mobtrawl.ini"), {path, 3, false, 8});
  Restored restored;
  ASSERT_TRUE(RestoreProgressFile(dir.File("mobtrawl.ini"), restored));
  EXPECT_EQ(restored.keywordFile, path);
  EXPECT_EQ(restored.keywordIndex, 2);  // line 2 as stored: not one added back
}

struct RestoreCase {
  const char* name;
  std::string content;
  std::optional<std::string> keywordFile;
  std::optional<int> keywordIndex;
  std::optional<bool> deduplicate;
  std::optional<int> interval;
  const char* error;  // nullptr when the restore completes
};

TEST(ProgressFile, RestoresLineByLineAndStopsAtTheFirstBadLine) {
  const RestoreCase cases[] = {
      {"plain", "D:\\kw.txt\r\n4\r\nqcyes\r\n8\r\n", "D:\\kw.txt", 4, true, 8, nullptr},
      {"LF only", "kw\n7\nqcyes\n12\n", "kw", 7, true, 12, nullptr},
      {"capitals", "kw\r\n1\r\nQCYES\r\n8\r\n", "kw", 1, false, 8, nullptr},
      {"trailing blank", "kw\r\n1\r\nqcyes \r\n8\r\n", "kw", 1, false, 8, nullptr},
      {"minus one", "kw\r\n-1\r\nqcno\r\n8\r\n", "kw", -1, false, 8, nullptr},
      {"blanks before", "kw\r\n  3\r\nqcno\r\n  12\r\n", "kw", 3, false, 12, nullptr},
      {"out of range kept for the field", "kw\r\n1\r\nqcno\r\n5000\r\n", "kw", 1, false, 5000, nullptr},
      {"hex", "kw\r\n$10\r\nqcno\r\n0x0A\r\n", "kw", 16, false, 10, nullptr},
      {"extra lines ignored", "kw\r\n1\r\nqcyes\r\n9\r\nmore\r\nabc\r\n", "kw", 1, true, 9, nullptr},
      {"Ctrl-Z ends the file", "kw\r\n1\r\nqcyes\r\n9\x1a" "00\r\n", "kw", 1, true, 9, nullptr},
      {"abc on line 2", "D:\\kw.txt\r\nabc\r\nqcyes\r\n12\r\n", "D:\\kw.txt", {}, {}, {}, "'abc' is not a valid integer value"},
      {"blank after 12", "kw\r\n1\r\nqcyes\r\n12 \r\n", "kw", 1, true, {}, "'12 ' is not a valid integer value"},
      {"short file", "kw\r\n1\r\n", "kw", 1, false, {}, "'' is not a valid integer value"},
      {"empty file", "", "", {}, {}, {}, "'' is not a valid integer value"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restored restored;
    const auto file = dir.Write("mobtrawl.ini", c.content);
    if (c.error) {
      try {
        RestoreProgressFile(file, restored);
        ADD_FAILURE() << "no error";
      } catch (const NotAnIntegerError& e) {
        EXPECT_EQ(e.Message(), c.error);
      }
    } else {
      EXPECT_TRUE(RestoreProgressFile(file, restored));
    }
    EXPECT_EQ(restored.keywordFile, c.keywordFile);
    EXPECT_EQ(restored.keywordIndex, c.keywordIndex);
    EXPECT_EQ(restored.deduplicate, c.deduplicate);
    EXPECT_EQ(restored.interval, c.interval);
  }
}

TEST(ProgressFile, NoFileRestoresNothing) {
  TempDir dir;
  Restored restored;
  EXPECT_FALSE(RestoreProgressFile(dir.File("mobtrawl.ini"), restored));
  EXPECT_FALSE(restored.keywordFile || restored.keywordIndex || restored.deduplicate || restored.interval);
}

TEST(ProgressFile, AWriteCutShortLeavesThePreviousFileWhole) {
  TempDir dir;
  WriteProgressFile(dir.File("mobtrawl.ini"), {"D:\\old.txt", 3, true, 8});
  const std::string before = dir.Read("mobtrawl.ini");
  for (rlim_t limit : {0, 1, 10, 20}) {
    SCOPED_TRACE(limit);
    const int status = RunWithFileSizeLimit(limit, [&] {
      try {
        WriteProgressFile(dir.File("mobtrawl.ini"), {"D:\\a much longer keyword file name.txt", 9, false, 30});
        return 1;
      } catch (const TextFileError& e) {
        return e.Message() == "Disk full" ? 0 : 2;
      }
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(dir.Read("mobtrawl.ini"), before);
  }
}

TEST(ProgressFile, AWriterKilledMidwayLeavesThePreviousFileWhole) {
  TempDir dir;
  WriteProgressFile(dir.File("mobtrawl.ini"), {"D:\\old.txt", 3, true, 8});
  const std::string before = dir.Read("mobtrawl.ini");
  for (int round = 0; round < 20; ++round) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (;;) WriteProgressFile(dir.File("mobtrawl.ini"), {"D:\\old.txt", 3, true, 8});
    }
    ::usleep(static_cast<useconds_t>(200 + round * 150));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    // Whatever moment the kill came, the file is the whole old or the whole
    // new one (here the same bytes), never torn or missing.
    EXPECT_EQ(dir.Read("mobtrawl.ini"), before);
  }
}

}  // namespace
}  // namespace harvest
