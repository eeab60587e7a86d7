#include "harvest/text_file.h"

#include <algorithm>

#include "harvest/errors.h"

namespace harvest {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// Ctrl-Z, which old editors wrote after the last line: the text ends there.
constexpr char kEndOfTextMark = 26;

void Check(int err) {
  if (err != 0) throw TextFileError(FileErrorCode(err));
}

}  // namespace

TextFileReader::TextFileReader(const FilePath& path) : buffer_(kReadChunk) {
  Check(file_.OpenForReading(path.native));
}

void TextFileReader::Fill() {
  if (atEnd_ || pos_ < end_) return;
  const long n = file_.Read(buffer_.data(), buffer_.size());
  if (n < 0) Check(static_cast<int>(-n));
  pos_ = 0;
  end_ = static_cast<std::size_t>(n);
  if (n == 0) atEnd_ = true;
}

int TextFileReader::Peek() {
  Fill();
  if (pos_ == end_ || buffer_[pos_] == kEndOfTextMark) {
    atEnd_ = true;
    return -1;
  }
  return static_cast<unsigned char>(buffer_[pos_]);
}

bool TextFileReader::AtEnd() { return Peek() < 0; }

std::string TextFileReader::ReadLine() {
  std::string line;
  for (;;) {
    const int c = Peek();
    if (c < 0) return line;
    ++pos_;
    if (c == '\n') return line;
    if (c == '\r') {
      if (Peek() == '\n') {
        ++pos_;
        return line;
      }
      continue;  // a lone CR is dropped
    }
    // Take the rest of the plain run in one step.
    const auto runEnd = std::find_if(buffer_.begin() + static_cast<long>(pos_), buffer_.begin() + static_cast<long>(end_),
                                     [](char b) { return b == '\n' || b == '\r' || b == kEndOfTextMark; });
    line.push_back(static_cast<char>(c));
    line.append(buffer_.begin() + static_cast<long>(pos_), runEnd);
    pos_ = static_cast<std::size_t>(runEnd - buffer_.begin());
  }
}

void TextFileReader::Close() { Check(file_.Close()); }

int CountTextFileLines(const FilePath& path) {
  TextFileReader reader(path);
  int count = 0;
  while (!reader.AtEnd()) {
    reader.ReadLine();
    ++count;
  }
  reader.Close();
  return count;
}

TextFileWriter::TextFileWriter(const FilePath& path) { Check(writer_.Begin(path.native)); }

void TextFileWriter::WriteLine(std::string_view line) {
  pending_.append(line);
  pending_.append("\r\n");
  if (pending_.size() >= kReadChunk) {
    Check(writer_.Write(pending_));
    pending_.clear();
  }
}

void TextFileWriter::Close() {
  Check(writer_.Write(pending_));
  pending_.clear();
  Check(writer_.Commit());
}

}  // namespace harvest
