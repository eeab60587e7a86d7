#include "harvest/errors.h"

#include <cerrno>

namespace harvest {

std::string FileErrorMessage(int code) {
  switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 100: return "Read beyond end of file";
    case 101: return "Disk full";
    case 106: return "Invalid numeric input";
    default: return "I/O error " + std::to_string(code);
  }
}

int FileErrorCode(int posixErrno) {
  switch (posixErrno) {
    case ENOENT: return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EILSEQ: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY: return 5;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return 101;
    // EIO has the number 5 on Linux; it must not read as "File access denied".
    case EIO: return 1117;  // the device-I/O failure code
    case EBUSY: return 32;  // the sharing-violation code
    // errno values that share a number with a named code (ESRCH, EINTR,
    // ENETDOWN...) would otherwise borrow its message.
    case 3:
    case 4:
    case 100:
    case 101:
    case 106: return 31;  // the general-failure code
    default: return posixErrno;
  }
}

std::string ErrorDisplayText(std::string message) {
  // Walk the characters from the start: a GBK lead byte (0x81..0xFE) takes
  // the next byte with it, so the last character's first byte is known.
  std::size_t lastStart = 0;
  for (std::size_t i = 0; i < message.size();) {
    lastStart = i;
    const auto b = static_cast<unsigned char>(message[i]);
    i += (b >= 0x81 && b <= 0xFE && i + 1 < message.size()) ? 2 : 1;
  }
  if (!message.empty() && static_cast<unsigned char>(message[lastStart]) > '.') message += '.';
  return message;
}

TextFileError::TextFileError(int code) : Exception(FileErrorMessage(code)), code_(code) {}

FileCreateError::FileCreateError(const std::string& path)
    : FileStreamError("Cannot create file " + path) {}
FileOpenError::FileOpenError(const std::string& path)
    : FileStreamError("Cannot open file " + path) {}
StreamReadError::StreamReadError() : FileStreamError("Stream read error") {}
StreamWriteError::StreamWriteError() : FileStreamError("Stream write error") {}

}  // namespace harvest
