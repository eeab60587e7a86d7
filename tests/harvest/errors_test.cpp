#include "harvest/errors.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace harvest {
namespace {

TEST(FileErrorCodes, NamesTheKnownCodesAndNumbersTheRest) {
  const std::pair<int, const char*> cases[] = {
      {2, "File not found"},        {3, "Invalid filename"},      {4, "Too many open files"},
      {5, "File access denied"},    {100, "Read beyond end of file"}, {101, "Disk full"},
      {106, "Invalid numeric input"}, {32, "I/O error 32"},       {1117, "I/O error 1117"},
  };
  for (const auto& [code, message] : cases) {
    EXPECT_EQ(TextFileError(code).Message(), message);
    EXPECT_EQ(TextFileError(code).ErrorCode(), code);
  }
}

TEST(FileErrorCodes, MapsErrnoOntoTheCodesTheUserKnows) {
  const std::pair<int, const char*> cases[] = {
      {ENOENT, "File not found"},      {ENOTDIR, "Invalid filename"},
      {ENAMETOOLONG, "Invalid filename"}, {EMFILE, "Too many open files"},
      {ENFILE, "Too many open files"},  {EACCES, "File access denied"},
      {EPERM, "File access denied"},    {EISDIR, "File access denied"},
      {EROFS, "File access denied"},    {ENOSPC, "Disk full"},
      {EDQUOT, "Disk full"},            {EFBIG, "Disk full"},
      // EIO is 5 and ENETDOWN 100 on Linux: neither may borrow a name.
      {EIO, "I/O error 1117"},          {ENETDOWN, "I/O error 31"},
      {EINTR, "I/O error 31"},          {EXDEV, "I/O error 18"},
  };
  for (const auto& [err, message] : cases) {
    SCOPED_TRACE(err);
    EXPECT_EQ(FileErrorMessage(FileErrorCode(err)), message);
  }
}

TEST(ErrorDisplayText, AddsAFullStopAfterALetterDigitOrChineseCharacterOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"File not found", "File not found."},
      {"I/O error 32", "I/O error 32."},
      {"done.", "done."},
      {"stop!", "stop!"},
      {"(x)", "(x)"},
      {"'12 '", "'12 '"},
      {"trailing blank ", "trailing blank "},
      {"a/", "a/."},  // "/" comes after "." in the byte order
      {"\xC7\xEB\xCF\xC8", "\xC7\xEB\xCF\xC8."},          // a GBK character
      {"\xCA\xFD\xA3\xA1", "\xCA\xFD\xA3\xA1."},          // "！" leads with 0xA3, above "."
      {"x\xA3", "x\xA3."},                               // a lone lead byte at the end
      {"\xB0\x2E", "\xB0\x2E."},  // the pair B0 2E is one character whose first byte is above "."
  };
  for (const auto& [message, shown] : cases) EXPECT_EQ(ErrorDisplayText(message), shown) << message;
}

TEST(StreamErrors, CarryThePathAskedFor) {
  EXPECT_EQ(FileCreateError("/x/out.txt").Message(), "Cannot create file /x/out.txt");
  EXPECT_EQ(FileOpenError("\xCA\xD6.txt").Message(), "Cannot open file \xCA\xD6.txt");
  EXPECT_EQ(StreamReadError().Message(), "Stream read error");
  EXPECT_EQ(StreamWriteError().Message(), "Stream write error");
  EXPECT_STREQ(StreamWriteError().what(), "Stream write error");
}

}  // namespace
}  // namespace harvest
