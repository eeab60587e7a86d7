#pragma once
// A thin owner of a POSIX file descriptor. Failures come back as errno values
// so that each caller can raise them in its own vocabulary (file errors for
// text files, stream errors for file streams).

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace harvest {

class PosixFile {
 public:
  PosixFile() = default;
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;
  PosixFile(PosixFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  PosixFile& operator=(PosixFile&& other) noexcept;
  ~PosixFile();

  // Returns 0 or the errno of the failure.
  int OpenForReading(const std::filesystem::path& path);
  int Create(const std::filesystem::path& path, bool replaceExisting = true);

  // The bytes read (0 at the end) or -errno.
  long Read(char* buffer, std::size_t size);
  // 0 when every byte is written, otherwise the errno of the failure.
  int WriteAll(std::string_view bytes);
  // Flushes the file's data to the device; 0 or errno.
  int Sync();
  // 0 or errno; closing twice is harmless.
  int Close();

  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Writes a file so that the old one stays whole until the new one is
// complete: the bytes go to a temporary file beside the target, which is
// flushed to the device and renamed over the target at Commit. A writer
// dropped without Commit removes its temporary file; the target is untouched.
class ReplacingWriter {
 public:
  // 0 or the errno of creating the temporary file.
  int Begin(const std::filesystem::path& target);
  int Write(std::string_view bytes) { return file_.WriteAll(bytes); }
  // Flush, close and rename into place; 0 or errno (the target then keeps
  // its previous content). `failedAtRename` tells a refused rename (the
  // target cannot be replaced) from a failed flush.
  int Commit(bool* failedAtRename = nullptr);
  ~ReplacingWriter();

 private:
  void Discard();

  std::filesystem::path target_;
  std::filesystem::path temp_;
  PosixFile file_;
};

}  // namespace harvest
