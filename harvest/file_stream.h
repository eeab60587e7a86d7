#pragma once
// Whole-file reads and writes with the file-stream error vocabulary:
// "Cannot open file %s", "Cannot create file %s", "Stream read error",
// "Stream write error".

#include <string>
#include <string_view>

#include "harvest/file_path.h"
#include "harvest/text_list.h"

namespace harvest {

// The file's whole content.
std::string LoadFileContent(const FilePath& path);

// Replaces the file with `bytes`; the previous file stays whole until the
// new one is complete.
void SaveFileContent(const FilePath& path, std::string_view bytes);

// A text list read from a file (SplitLinesUpToNul rules) and saved to one (CR LF
// after every line).
LineList LoadLines(const FilePath& path);
void SaveLines(const FilePath& path, const LineList& lines);

}  // namespace harvest
