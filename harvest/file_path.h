#pragma once
// A file name in the two forms the program needs: the GBK text that is shown
// (in the keyword-file box, in error messages, in the progress file) and the
// native path the file system opens. The edges of the program (dialogs, the executable's own
// path) make both; inside the engine they travel together.

#include <filesystem>
#include <string>

namespace harvest {

struct FilePath {
  std::filesystem::path native;
  std::string text;

  // For names whose text is plain ASCII, where both forms are the same bytes.
  static FilePath Ascii(const std::string& name) { return {std::filesystem::path(name), name}; }

  // A file inside this directory; `text` is expected to end in a separator,
  // as AppDir does.
  FilePath Child(const std::string& asciiName) const {
    return {native / asciiName, text + asciiName};
  }
};

}  // namespace harvest
