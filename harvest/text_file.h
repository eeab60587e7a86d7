#pragma once
// Line-oriented text files (the progress file, the keyword file's line
// count). Every operation is checked at once and a failure raises TextFileError
// named by its code.

#include <string>
#include <string_view>
#include <vector>

#include "harvest/file_path.h"
#include "harvest/posix_file.h"

namespace harvest {

// Reading: a line ends at LF or at CR LF; a CR not followed by LF is dropped
// and reading goes on; a byte of value 26 is the end of the file; reading past
// the end gives empty lines without error.
class TextFileReader {
 public:
  explicit TextFileReader(const FilePath& path);

  bool AtEnd();
  std::string ReadLine();
  void Close();

 private:
  // The next byte without taking it, or -1 at the end of the file.
  int Peek();
  void Fill();

  PosixFile file_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool atEnd_ = false;
};

// The number of lines that reading the file line by line to its end gives.
int CountTextFileLines(const FilePath& path);

// Writing: every line is followed by CR LF. The new content replaces the file
// only when Close succeeds, so a failure at any point leaves the previous file
// whole; the writer dropped without Close leaves it untouched too.
class TextFileWriter {
 public:
  explicit TextFileWriter(const FilePath& path);

  void WriteLine(std::string_view line);
  void Close();

 private:
  ReplacingWriter writer_;
  std::string pending_;
};

}  // namespace harvest
