#include "harvest/file_stream.h"

#include "harvest/errors.h"
#include "harvest/posix_file.h"

namespace harvest {

std::string LoadFileContent(const FilePath& path) {
  PosixFile file;
  if (file.OpenForReading(path.native) != 0) throw EFOpenError(path.text);
  std::string content;
  constexpr std::size_t kChunk = 1 << 16;
  for (;;) {
    const std::size_t used = content.size();
    content.resize(used + kChunk);
    const long n = file.Read(content.data() + used, kChunk);
    if (n < 0) throw EReadError();
    content.resize(used + static_cast<std::size_t>(n));
    if (n == 0) return content;
  }
}

void SaveFileContent(const FilePath& path, std::string_view bytes) {
  ReplacingWriter writer;
  if (writer.Begin(path.native) != 0) throw EFCreateError(path.text);
  if (writer.Write(bytes) != 0) throw EWriteError();
  bool failedAtRename = false;
  if (writer.Commit(&failedAtRename) != 0) {
    if (failedAtRename) throw EFCreateError(path.text);
    throw EWriteError();
  }
}

StringList LoadListFromFile(const FilePath& path) { return SplitText(LoadFileContent(path)); }

void SaveListToFile(const FilePath& path, const StringList& lines) {
  SaveFileContent(path, JoinLines(lines));
}

}  // namespace harvest
