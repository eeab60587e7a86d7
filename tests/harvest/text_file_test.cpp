#include "harvest/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "harvest/errors.h"
#include "child_process.h"
#include "temp_dir.h"

namespace harvest {
namespace {

std::vector<std::string> ReadAllLines(const FilePath& path) {
  TextFileReader reader(path);
  std::vector<std::string> lines;
  while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
  reader.Close();
  return lines;
}

struct ReadCase {
  std::string content;
  std::vector<std::string> lines;
};

TEST(TextFileReader, EndsLinesAtLfOrCrLfDropsLoneCrAndStopsAtCtrlZ) {
  const ReadCase cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\rb\rc", {"abc"}},          // CR alone is no break
      {"a\r\r\nb", {"a", "b"}},      // CR CR LF: the first CR is dropped
      {"\n\n", {"", ""}},
      {"a\n\x1a" "b\nc\n", {"a"}},   // Ctrl-Z ends the file
      {"ab\x1a", {"ab"}},
      {"\x1a", {}},
      {std::string("a\0b\n", 4), {std::string("a\0b", 3)}},  // NUL is an ordinary byte
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.content));
    EXPECT_EQ(ReadAllLines(dir.Write("f.txt", c.content)), c.lines);
    EXPECT_EQ(CountTextFileLines(dir.File("f.txt")), static_cast<int>(c.lines.size()));
  }
}

TEST(TextFileReader, GivesEmptyLinesPastTheEnd) {
  TempDir dir;
  TextFileReader reader(dir.Write("short.ini", "only\r\n"));
  EXPECT_EQ(reader.ReadLine(), "only");
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(reader.ReadLine(), "");
  EXPECT_EQ(reader.ReadLine(), "");
}

TEST(TextFileReader, ReadsLinesLongerThanItsBuffer) {
  TempDir dir;
  const std::string longLine(200000, 'x');
  EXPECT_EQ(ReadAllLines(dir.Write("long.txt", longLine + "\r\n" + longLine)),
            (std::vector<std::string>{longLine, longLine}));
}

TEST(TextFileReader, RaisesTheFileErrorOfAFailedOpen) {
  TempDir dir;
  try {
    TextFileReader reader(dir.File("missing.txt"));
    ADD_FAILURE() << "no error";
  } catch (const TextFileError& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
    EXPECT_EQ(e.Message(), "File not found");
  }
  std::filesystem::create_directory(dir.Path() / "folder");
  try {
    TextFileReader reader(dir.File("folder"));
    ADD_FAILURE() << "no error";
  } catch (const TextFileError& e) {
    EXPECT_EQ(e.Message(), "File access denied");
  }
}

TEST(TextFileWriter, WritesCrLfAfterEveryLine) {
  TempDir dir;
  dir.Write("out.ini", "old content that is longer than the new one\r\n");
  TextFileWriter writer(dir.File("out.ini"));
  writer.WriteLine("D:\\kw.txt");
  writer.WriteLine("");
  writer.WriteLine("\xCA\xD6\xBB\xFA");
  writer.Close();
  EXPECT_EQ(dir.Read("out.ini"), "D:\\kw.txt\r\n\r\n\xCA\xD6\xBB\xFA\r\n");
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(TextFileWriter, LeavesThePreviousFileWholeWhenDroppedBeforeClose) {
  TempDir dir;
  dir.Write("keep.ini", "previous\r\n");
  {
    TextFileWriter writer(dir.File("keep.ini"));
    writer.WriteLine("half");
  }
  EXPECT_EQ(dir.Read("keep.ini"), "previous\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(TextFileWriter, RaisesAccessDeniedInAFolderItMayNotWrite) {
  TempDir dir;  // mode 0700, owned by the test's user
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const int status = RunUnprivileged([&] {
    try {
      TextFileWriter writer(dir.File("x.ini"));
      return 1;
    } catch (const TextFileError& e) {
      return e.Message() == "File access denied" ? 0 : 2;
    }
  });
  EXPECT_EQ(status, 0);
}

TEST(TextFileWriter, ReportsAFullDiskAndKeepsThePreviousFile) {
  TempDir dir;
  dir.Write("progress.ini", "previous\r\n");
  // The child may write at most 16 bytes to any file: the write of a longer
  // file falls short, as on a full disk.
  const int status = RunWithFileSizeLimit(16, [&] {
    try {
      TextFileWriter writer(dir.File("progress.ini"));
      writer.WriteLine(std::string(40, 'x'));
      writer.Close();
      return 1;
    } catch (const TextFileError& e) {
      return e.Message() == "Disk full" ? 0 : 2;
    }
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(dir.Read("progress.ini"), "previous\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

}  // namespace
}  // namespace harvest
