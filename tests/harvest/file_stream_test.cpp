#include "harvest/file_stream.h"

#include <gtest/gtest.h>

#include "child_process.h"
#include "harvest/errors.h"
#include "temp_dir.h"

namespace harvest {
namespace {

TEST(FileStream, LoadsAndSavesListsByTheListRules) {
  TempDir dir;
  EXPECT_EQ(LoadListFromFile(dir.Write("kw.txt", "a\rb\n\nc\r\n")), (StringList{"a", "b", "", "c"}));
  SaveListToFile(dir.File("out.txt"), {"13800000000", "15900000000"});
  EXPECT_EQ(dir.Read("out.txt"), "13800000000\r\n15900000000\r\n");
  SaveListToFile(dir.File("out.txt"), {});
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
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file D:\\\xCA\xD6\\gone.txt");
  }
  FilePath noFolder{dir.Path() / "no" / "out.txt", "no/out.txt"};
  try {
    SaveListToFile(noFolder, {"x"});
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file no/out.txt");
  }
  // A folder standing where the file should go cannot be replaced.
  std::filesystem::create_directory(dir.Path() / "taken");
  EXPECT_THROW(SaveListToFile(dir.File("taken"), {"x"}), EFCreateError);
  EXPECT_THROW(LoadFileContent(dir.File("taken")), EFOpenError);
}

TEST(FileStream, AShortWriteRaisesAndKeepsThePreviousFile) {
  TempDir dir;
  dir.Write("results.txt", "13800000000\r\n");
  const int status = RunWithFileSizeLimit(8, [&] {
    try {
      SaveListToFile(dir.File("results.txt"), {"15900000000", "15900000001"});
      return 1;
    } catch (const EWriteError&) {
      return 0;
    }
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(dir.Read("results.txt"), "13800000000\r\n");
}

}  // namespace
}  // namespace harvest
