#pragma once
// A thin owner of a POSIX file descriptor. Failures come back as errno values
// so that each caller can raise them in its own vocabulary (file errors for
// text files, stream errors for file streams).

#include <sys/stat.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string_view>

namespace harvest {

// Writes every byte to `fd`, again after interruptions and short writes;
// 0, or the errno of the failure.
int WriteAllTo(int fd, std::string_view bytes);

// The calling thread's CPU time: what the window's thread spends on a file's
// part of a step, for the benchmarks.
std::chrono::nanoseconds ThreadCpuTime();

// Opens the folder `folder` for the *at() calls (O_PATH; the caller closes
// the descriptor), making each missing level (0777 less the umask) on the
// way, one at a time from the last one opened, so that nothing is made or
// opened through a link somebody else put there. A level that is a symbolic
// link is followed only when nobody but the owner of the folder holding it
// could have put it there (that folder writable by its owner alone, the link
// that owner's or root's), as a system's /home -> /var/home or a user's own
// link in their home is; one planted in a folder others may write is
// refused with ELOOP. The descriptor, or -errno.
int OpenFolderMakingLevels(const std::filesystem::path& folder);

// Gives the file at `from` the name `wanted`, or the first free one of
// `wanted-2`, `wanted-3`... when it is taken, never replacing anything
// there: renameat2's RENAME_NOREPLACE, or, where the file system lacks it, a
// second link made and the first removed. A link at `from` is renamed
// itself, never followed. 0 with the name given in `given`, or the errno.
int RenameToFreeName(const std::filesystem::path& from, const std::filesystem::path& wanted,
                     std::filesystem::path* given);

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
  int Create(const std::filesystem::path& path, bool replaceExisting = true, mode_t mode = 0666);
  // A file without a name in `folder` (O_TMPFILE); it vanishes with its
  // descriptor unless it is given a name first.
  int CreateUnnamed(const std::filesystem::path& folder, mode_t mode);

  // The bytes read (0 at the end) or -errno.
  long Read(char* buffer, std::size_t size);
  // 0 when every byte is written, otherwise the errno of the failure.
  int WriteAll(std::string_view bytes);
  // Flushes the file's data to the device; 0 or errno.
  int Sync();
  // 0 or errno; closing twice is harmless.
  int Close();

  bool IsOpen() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }

 private:
  int fd_ = -1;
};

// Replaces a file so that the old one stays whole until the new one is
// complete, and the user keeps what they had:
// - the target is where the name leads: symbolic links are followed (a chain,
//   relative ones from their own folder; a dangling one creates its target)
//   and stay links;
// - a file this user may not write (by its mode, its folder, a read-only file
//   system) is refused at Begin, before a byte is written;
// - the new file takes the old one's mode, and its owner and group as far as
//   the process may set them; a new file gets what creat() would give it.
// The bytes go to a file without a name in the target's folder, flushed to
// the device and only at Commit linked under a unique name and renamed over
// the target at once, so a process killed while writing leaves nothing
// behind. Where the file system has no unnamed files the temporary file is
// named `<target>.tmp<PID>-<N>` from the start; those left by processes that
// died are removed by the next write of the same target. A writer dropped
// without Commit removes its temporary file; the target is untouched.
class ReplacingWriter {
 public:
  enum class Temporary { Unnamed, Named };
  // Refuse: a link at the target is refused (ELOOP) and left alone rather
  // than followed, for a file the program keeps for itself; one put there
  // while writing is replaced, never followed.
  enum class Links { Follow, Refuse };
  // `preferred` Named skips the unnamed file, as a file system without one
  // does.
  explicit ReplacingWriter(Temporary preferred = Temporary::Unnamed, Links links = Links::Follow)
      : preferred_(preferred), links_(links) {}
  ReplacingWriter(const ReplacingWriter&) = delete;
  ReplacingWriter& operator=(const ReplacingWriter&) = delete;
  ~ReplacingWriter();

  // 0 or the errno that refuses the replacement (EACCES for a file or folder
  // this user may not write, EISDIR, ELOOP...) or that failed the temporary.
  int Begin(const std::filesystem::path& target);
  int Write(std::string_view bytes) { return file_.WriteAll(bytes); }
  // Flush, name and rename into place; 0 or errno (the target then keeps its
  // previous content). `failedAtRename` tells a refused rename (the target
  // cannot be replaced) from a failed flush.
  int Commit(bool* failedAtRename = nullptr);

 private:
  int CreateTemporary(mode_t mode);
  int NameTemporary();
  void KeepOwnerAndMode();
  void RemoveStaleTemporaries() const;
  void Discard();

  Temporary preferred_;
  Links links_;
  std::filesystem::path target_;  // the links' end
  std::filesystem::path folder_;
  std::filesystem::path temp_;  // empty while the temporary has no name
  bool replacing_ = false;      // the target exists; `old_` holds its stat
  struct stat old_ {};
  PosixFile file_;
};

}  // namespace harvest
