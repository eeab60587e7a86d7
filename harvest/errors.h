#pragma once
// The program's errors. Every failure is raised as one of these and shown by
// the application's error handler; the message is the system's own text in
// GBK bytes, exactly as the user reads it (NoKeywordsError and
// PageTextError are worded by the window).

#include <exception>
#include <string>

namespace harvest {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// A text that is not an integer: "'%s' is not a valid integer value".
class NotAnIntegerError : public Exception {
 public:
  using Exception::Exception;
};

// Search with no keyword imported. Its message is the window's to word;
// the text here is for logs and the console.
class NoKeywordsError : public Exception {
 public:
  NoKeywordsError() : Exception("No keyword list imported") {}
};

// The browser had no page text to give: no document, no body, no answer.
class PageTextError : public Exception {
 public:
  PageTextError() : Exception("No page text to read") {}
};

// A line-oriented text file failed; the message is named by the error code.
class TextFileError : public Exception {
 public:
  explicit TextFileError(int code);
  int ErrorCode() const noexcept { return code_; }

 private:
  int code_;
};

// File stream errors, as the merge and the list load/save raise them.
class FileStreamError : public Exception {
 public:
  using Exception::Exception;
};
class FileCreateError : public FileStreamError {
 public:
  explicit FileCreateError(const std::string& path);
};
class FileOpenError : public FileStreamError {
 public:
  explicit FileOpenError(const std::string& path);
};
class StreamReadError : public FileStreamError {
 public:
  StreamReadError();
};
class StreamWriteError : public FileStreamError {
 public:
  StreamWriteError();
};

// The message as the error handler shows it: "." is appended when the first
// byte of the last (GBK) character is above the byte of "." (a letter, a
// digit, a Chinese character), not after ".", "!", ")", a quote or a blank;
// an empty message stays empty.
std::string ErrorDisplayText(std::string message);

// The text of a file error code: 2 "File not found", 5 "File access denied",
// ... and "I/O error %d" for a code without a name of its own.
std::string FileErrorMessage(int code);

// The system error code that stands for a POSIX errno value. Codes keep the
// numbering the messages above are named by (ENOENT -> 2, EACCES -> 5,
// ENOSPC -> 101, ...); an errno without a counterpart keeps its own number.
int FileErrorCode(int posixErrno);

}  // namespace harvest
