#include "harvest/posix_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <string>

namespace harvest {

std::chrono::nanoseconds ThreadCpuTime() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

PosixFile::~PosixFile() {
  Close();
}

int PosixFile::OpenForReading(const std::filesystem::path& path) {
  Close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return errno;
  // open() happily gives a descriptor for a folder; refuse it here, where
  // the caller reports a failed open, rather than at the first read.
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
    Close();
    return EISDIR;
  }
  return 0;
}

int PosixFile::Create(const std::filesystem::path& path, bool replaceExisting, mode_t mode) {
  Close();
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (replaceExisting ? O_TRUNC : O_EXCL);
  fd_ = ::open(path.c_str(), flags, mode);
  return fd_ < 0 ? errno : 0;
}

int PosixFile::CreateUnnamed(const std::filesystem::path& folder, mode_t mode) {
  Close();
  fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  return fd_ < 0 ? errno : 0;
}

long PosixFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -errno;
  }
}

int WriteAllTo(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

namespace {

constexpr int kLevelFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// Whether `link`, an entry of the folder `folderFd`, can only have been put
// there by that folder's owner or root.
bool PutThereByTheFolderOwner(int folderFd, const struct stat& link) {
  struct stat folder {};
  return ::fstat(folderFd, &folder) == 0 && (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0 &&
         (link.st_uid == folder.st_uid || link.st_uid == 0);
}

// The folder `name` in `folderFd`, made when missing; a descriptor or -errno.
int OpenLevel(int folderFd, const char* name) {
  // With O_PATH, O_NOFOLLOW finds a link itself, which O_DIRECTORY refuses.
  int fd = ::openat(folderFd, name, kLevelFlags | O_NOFOLLOW);
  if (fd < 0 && errno == ENOENT) {
    // mkdirat() never follows a link either: a dangling one is EEXIST.
    if (::mkdirat(folderFd, name, 0777) != 0 && errno != EEXIST) return -errno;
    fd = ::openat(folderFd, name, kLevelFlags | O_NOFOLLOW);
  }
  if (fd >= 0) return fd;
  const int err = errno;
  struct stat there {};
  if (::fstatat(folderFd, name, &there, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(there.st_mode))
    return -err;
  if (!PutThereByTheFolderOwner(folderFd, there)) return -ELOOP;
  // Only the folder's owner could change it meanwhile: what it leads to
  // is what they chose.
  fd = ::openat(folderFd, name, kLevelFlags);
  return fd >= 0 ? fd : -errno;
}

int RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // A file system without RENAME_NOREPLACE: link() fails on a taken name
  // and makes a link at `from` a second name of that link, not of its target.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) != 0) {
    const int err = errno;
    ::unlink(to.c_str());
    return err;
  }
  return 0;
}

}  // namespace

int OpenFolderMakingLevels(const std::filesystem::path& folder) {
  int fd = ::open(folder.is_absolute() ? "/" : ".", kLevelFlags);
  if (fd < 0) return -errno;
  for (const std::filesystem::path& level : folder.relative_path()) {
    if (level.empty() || level == ".") continue;
    const int next = OpenLevel(fd, level.c_str());
    ::close(fd);
    if (next < 0) return next;
    fd = next;
  }
  return fd;
}

int RenameToFreeName(const std::filesystem::path& from, const std::filesystem::path& wanted,
                     std::filesystem::path* given) {
  constexpr int kFreeNameAttempts = 1000;
  for (int n = 1; n <= kFreeNameAttempts; ++n) {
    std::filesystem::path name = wanted;
    if (n > 1) name += "-" + std::to_string(n);
    const int err = RenameWithoutReplacing(from, name);
    if (err == 0) *given = std::move(name);
    if (err != EEXIST) return err;
  }
  return EEXIST;
}

int PosixFile::WriteAll(std::string_view bytes) {
  return WriteAllTo(fd_, bytes);
}

int PosixFile::Sync() {
  return ::fsync(fd_) == 0 ? 0 : errno;
}

int PosixFile::Close() {
  if (fd_ < 0) return 0;
  const int result = ::close(fd_) == 0 ? 0 : errno;
  fd_ = -1;
  return result;
}

namespace {

constexpr int kMaxLinkHops = 40;  // the kernel's own limit
constexpr int kNameAttempts = 100;

// Where a write to `path` lands: symbolic links followed to their end, a
// relative one from the folder it lies in. A dangling link leads to the name
// it holds, which the write then creates.
int FollowLinks(std::filesystem::path path, std::filesystem::path* end) {
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *end = path;
      return 0;
    }
    std::error_code err;
    const std::filesystem::path next = std::filesystem::read_symlink(path, err);
    if (err) return err.value();
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return ELOOP;
}

// A sticky folder (/tmp) lets only the file's owner, the folder's owner or
// root replace a file, however writable the file itself is; rename() would
// refuse it only after all the writing.
bool StickyFolderForbids(const std::filesystem::path& folder, const struct stat& file) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !(info.st_mode & S_ISVTX)) return false;
  const uid_t me = ::geteuid();
  return me != 0 && file.st_uid != me && info.st_uid != me;
}

bool IsDecimal(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

int ReplacingWriter::Begin(const std::filesystem::path& target) {
  Discard();
  replacing_ = false;
  if (links_ == Links::Refuse) {
    target_ = target;
  } else if (const int err = FollowLinks(target, &target_)) {
    return err;
  }
  folder_ = target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");

  // lstat: with links refused, what the checks see is what the rename replaces.
  if (::lstat(target_.c_str(), &old_) == 0) {
    if (S_ISLNK(old_.st_mode)) return ELOOP;
    if (S_ISDIR(old_.st_mode)) return EISDIR;
    // Refuse what the user could not write in place, with the system's own
    // answer (permissions, ACLs, an immutable file, a read-only mount).
    if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) return errno;
    if (StickyFolderForbids(folder_, old_)) return EPERM;
    replacing_ = true;
  } else if (errno != ENOENT) {
    return errno;
  }

  RemoveStaleTemporaries();
  // A replacement starts private and takes the old file's mode at Commit; a
  // new file gets 0666 less the umask, as creat() gives it.
  return CreateTemporary(replacing_ ? 0600 : 0666);
}

int ReplacingWriter::CreateTemporary(mode_t mode) {
  if (preferred_ == Temporary::Unnamed && ::access("/proc/self/fd", X_OK) == 0) {
    const int err = file_.CreateUnnamed(folder_, mode);
    // File systems (and kernels) without O_TMPFILE answer one of these.
    if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL) return err;
  }
  // O_EXCL with a counter avoids clobbering another writer's file.
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    // Built aside: temp_ is what a dropped writer removes, and must never
    // name the target, not even when building the name runs out of memory.
    std::filesystem::path name = target_;
    name += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    const int err = file_.Create(name, /*replaceExisting=*/false, mode);
    if (err == 0) temp_ = std::move(name);
    if (err != EEXIST) return err;
  }
  return EEXIST;
}

// Temporaries are named `<target>.tmp<PID>-<N>`; one whose process is gone
// was left by a crash, and nobody else will ever remove it.
void ReplacingWriter::RemoveStaleTemporaries() const {
  DIR* folder = ::opendir(folder_.c_str());
  if (!folder) return;
  const std::string prefix = target_.filename().string() + ".tmp";
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view name(entry->d_name);
    if (name.substr(0, prefix.size()) != prefix) continue;
    const std::string_view suffix = name.substr(prefix.size());
    const std::size_t dash = suffix.find('-');
    if (dash == std::string_view::npos || !IsDecimal(suffix.substr(0, dash)) ||
        !IsDecimal(suffix.substr(dash + 1))) {
      continue;
    }
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(suffix.data(), suffix.data() + dash, pid);
    if (ec != std::errc() || pid <= 0 || pid == ::getpid()) continue;
    // EPERM means the process lives under another user: leave its file.
    if (::kill(pid, 0) != 0 && errno == ESRCH) ::unlinkat(::dirfd(folder), entry->d_name, 0);
  }
  ::closedir(folder);
}

void ReplacingWriter::KeepOwnerAndMode() {
  const int fd = file_.Descriptor();
  // Only root may give a file away; a member of the old group may still give
  // it that group. Anything else stays the writer's own (EPERM is expected).
  if (::fchown(fd, old_.st_uid, old_.st_gid) != 0 &&
      ::fchown(fd, static_cast<uid_t>(-1), old_.st_gid) != 0) {
    // The new file stays the writer's, with its group.
  }
  // After the owner (chown clears set-user-ID bits) and after the writing (a
  // write by someone other than root clears them too). A failure leaves the
  // new file at 0600: less open than the old one, never more.
  (void)::fchmod(fd, old_.st_mode & 07777);
}

// Gives the unnamed temporary a fresh unique name beside the target.
int ReplacingWriter::NameTemporary() {
  const std::string self = "/proc/self/fd/" + std::to_string(file_.Descriptor());
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::filesystem::path name = target_;
    name += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      temp_ = std::move(name);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int ReplacingWriter::Commit(bool* failedAtRename) {
  if (failedAtRename) *failedAtRename = false;
  if (replacing_) KeepOwnerAndMode();
  int err = file_.Sync();
  const bool unnamed = temp_.empty();
  // A named temporary is closed before the rename so that a late write error
  // (NFS reports them at close) still counts; an unnamed one must stay open
  // to be named, and is named only now, right before the rename, so that a
  // crash leaves a name behind only in the narrowest window.
  if (err == 0 && !unnamed) err = file_.Close();
  if (err != 0) {
    Discard();
    return err;
  }
  if (unnamed) err = NameTemporary();
  if (err == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
  if (err != 0) {
    if (failedAtRename) *failedAtRename = true;
    Discard();
    return err;
  }
  temp_.clear();
  file_.Close();  // the data is already on the device (fsync above)
  // Make the rename itself durable: flush the folder's entry.
  const int folder = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return 0;
}

void ReplacingWriter::Discard() {
  file_.Close();
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

ReplacingWriter::~ReplacingWriter() {
  Discard();
}

}  // namespace harvest
