#include "harvest/progress_file.h"

#include <system_error>

#include "harvest/text.h"
#include "harvest/text_file.h"

namespace harvest {

void WriteProgressFile(const FilePath& path, const ProgressRecord& record) {
  TextFileWriter file(path);
  file.WriteLine(record.keywordFile);
  file.WriteLine(std::to_string(static_cast<std::int64_t>(record.keywordIndex) - 1));
  file.WriteLine(record.deduplicate ? "qcyes" : "qcno");
  file.WriteLine(std::to_string(record.intervalSeconds));
  file.Close();
}

bool RestoreProgressFile(const FilePath& path, ProgressTarget& target) {
  std::error_code ignored;
  if (!std::filesystem::exists(path.native, ignored)) return false;
  TextFileReader file(path);  // closed by its destructor on every way out
  target.RestoreKeywordFile(file.ReadLine());
  target.RestoreKeywordIndex(ParseInteger(file.ReadLine()));
  target.RestoreDeduplicate(file.ReadLine() == "qcyes");
  target.RestoreInterval(ParseInteger(file.ReadLine()));
  return true;
}

}  // namespace harvest
