#include "harvest/file_stream.h"

#include "harvest/errors.h"
#include "harvest/posix_file.h"

namespace harvest {

std::string LoadFileContent(const FilePath& path) {
  PosixFile file;
  if (file.OpenForReading(path.native) != 0) throw FileOpenError(path.text);
  std::string content;
  constexpr std::size_t kChunk = 1 << 16;
  for (;;) {
    const std::size_t used = content.size();
    content.resize(used + kChunk);
    const long n = file.Read(content.data() + used, kChunk);
    if (n < 0) throw StreamReadError();
    content.resize(used + static_cast<std::size_t>(n));
    if (n == 0) return content;
  }
}

void SaveFileContent(const FilePath& path, std::string_view bytes) {
  ReplacingWriter writer;
  if (writer.Begin(path.native) != 0) throw FileCreateError(path.text);
  if (writer.Write(bytes) != 0) throw StreamWriteError();
  bool failedAtRename = false;
  if (writer.Commit(&failedAtRename) != 0) {
    if (failedAtRename) throw FileCreateError(path.text);
    throw StreamWriteError();
  }
}

LineList LoadLines(const FilePath& path) {
  return SplitLinesUpToNul(LoadFileContent(path));
}

void SaveLines(const FilePath& path, const LineList& lines) {
  SaveFileContent(path, JoinLines(lines));
}

}  // namespace harvest
