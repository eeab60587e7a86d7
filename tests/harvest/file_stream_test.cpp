#include "harvest/file_stream.h"

#include <gtest/gtest.h>

#include "child_process.h"
#include "harvest/errors.h"
#include "temp_dir.h"

namespace harvest {
namespace {

TEST(FileStream, LoadsAndSavesListsByTheListRules) {
  TempDir dir;
  EXPECT_EQ(LoadLines(dir.Write("kw.txt", "a\rb\n\nc\r\n")), (LineList{"a", "b", "", "c"}));
  SaveLines(dir.File("out.txt"), {"13800000000", "15900000000"});
  EXPECT_EQ(dir.Read("out.txt"), "13800000000\r\n15900000000\r\n");
  SaveLines(dir.File("out.txt"), {});
  EXPECT_EQ(dir.Read("out.txt"), "");
}

TEST(FileStream, LoadsContentLargerThanOneReadChunk) {
  TempDir dir;
  std::string big(300000, 'a');
  big[123456] = '\0';
  EXPECT_EQ(LoadFileContent(dir.Write("big.bin", big)), big);
}

TEST(FileStream, RaisesOpenAndCreateErrorsWithThePathText) {
  TempDir dir;
  FilePath missing{dir.Path() / "gone.txt", "D:\\\xCA\xD6\\gone.txt"};
  try {
    LoadFileContent(missing);
    ADD_FAILURE() << "no error";
  } catch (const FileOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file D:\\\xCA\xD6\\gone.txt");
  }
  FilePath noFolder{dir.Path() / "no" / "out.txt", "no/out.txt"};
  try {
    SaveLines(noFolder, {"x"});
    ADD_FAILURE() << "no error";
  } catch (const FileCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file no/out.txt");
  }
  // A folder standing where the file should go cannot be replaced.
  std::filesystem::create_directory(dir.Path() / "taken");
  EXPECT_THROW(SaveLines(dir.File("taken"), {"x"}), FileCreateError);
  EXPECT_THROW(LoadFileContent(dir.File("taken")), FileOpenError);
}

TEST(FileStream, AShortWriteRaisesAndKeepsThePreviousFile) {
  TempDir dir;
  dir.Write("results.txt", "13800000000\r\n");
  const int status = RunWithFileSizeLimit(8, [&] {
    try {
      SaveLines(dir.File("results.txt"), {"15900000000", "15900000001"});
      return 1;
    } catch (const StreamWriteError&) {
      return 0;
    }
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(dir.Read("results.txt"), "13800000000\r\n");
}

}  // namespace
}  // namespace harvest
