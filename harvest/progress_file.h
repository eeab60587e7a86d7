#pragma once
// The progress file "mobtrawl.ini": the resume point of the harvester, four
// lines each ending in CR LF and nothing else (despite the name, it has no
// sections and no keys):
//   1  the keyword file's path, as the keyword-file box shows it
//   2  KeywordIndex - 1, the index of the keyword last started
//   3  "qcyes" when de-duplication is on, else "qcno"
//   4  the page interval in seconds
// Restoring feeds the lines back one by one; a line that fails stops the
// restore there, with the lines before it applied.

#include <string>

#include "harvest/file_path.h"

namespace harvest {

inline constexpr char kProgressFileName[] = "mobtrawl.ini";

struct ProgressRecord {
  std::string keywordFile;
  int keywordIndex = 0;  // KeywordIndex itself; the file holds one less
  bool deduplicate = false;
  int intervalSeconds = 8;  // written as is, without a range check
};

// Replaces the file whole: a failure at any point leaves the previous file.
// Raises TextFileError.
void WriteProgressFile(const FilePath& path, const ProgressRecord& record);

// Where the restored values go, in the order of the lines.
class ProgressTarget {
 public:
  virtual ~ProgressTarget() = default;
  virtual void RestoreKeywordFile(const std::string& path) = 0;
  virtual void RestoreKeywordIndex(int index) = 0;  // line 2 unchanged
  virtual void RestoreDeduplicate(bool on) = 0;
  virtual void RestoreInterval(int seconds) = 0;  // the field brings it into range
};

// Reads the file when it exists (false when it does not). Raises
// TextFileError when it cannot be read and NotAnIntegerError for a line 2 or 4
// that is not an integer; the file is closed either way.
bool RestoreProgressFile(const FilePath& path, ProgressTarget& target);

}  // namespace harvest
