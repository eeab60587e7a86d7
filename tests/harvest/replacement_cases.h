#pragma once
// What replacing a file must keep, as one table run through each real writer
// (the progress file, a saved list, the merge output): the mode, owner and
// group stay; symbolic links stay links and the file they lead to takes the
// content; a file the user may not write is refused with the writer's own
// message, and nothing in the folder changes.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "child_process.h"
#include "harvest/errors.h"
#include "harvest/file_path.h"
#include "temp_dir.h"

namespace replacement_cases {

namespace fs = std::filesystem;

// A writer as the program calls it.
struct Writer {
  const char* name;
  std::string content;  // what a replacement leaves in the file
  std::function<void(const harvest::FilePath&)> replace;
  // The message the user reads when the replacement is refused with `err`.
  std::function<std::string(const harvest::FilePath&, int err)> refusal;
};

// One entry of the folder as the user sees it.
struct Entry {
  char kind;         // 'f' file, 'l' link, 'd' folder
  std::string data;  // a file's bytes, a link's text
  mode_t mode;
  uid_t uid;
  gid_t gid;
  bool operator==(const Entry&) const = default;
  friend void PrintTo(const Entry& e, std::ostream* out) {
    *out << e.kind << " " << testing::PrintToString(e.data) << " " << std::oct << e.mode << std::dec
         << " " << e.uid << ":" << e.gid;
  }
};
using Listing = std::map<std::string, Entry>;

// Links are listed, never followed.
inline void ListFolder(const fs::path& dir, const fs::path& under, Listing& listing) {
  for (const auto& item : fs::directory_iterator(dir / under)) {
    const fs::path name = under / item.path().filename();
    struct stat info {};
    ::lstat(item.path().c_str(), &info);
    Entry entry{'f', {}, info.st_mode & 07777, info.st_uid, info.st_gid};
    if (S_ISLNK(info.st_mode)) {
      entry = {'l', fs::read_symlink(item.path()).string(), 0, info.st_uid, info.st_gid};
    } else if (S_ISDIR(info.st_mode)) {
      entry.kind = 'd';
      ListFolder(dir, name, listing);
    } else {
      std::ifstream in(item.path(), std::ios::binary);
      entry.data.assign(std::istreambuf_iterator<char>(in), {});
    }
    listing[name.string()] = entry;
  }
}

inline Listing ListFolder(const fs::path& dir) {
  Listing listing;
  ListFolder(dir, {}, listing);
  return listing;
}

inline void MakeFile(const fs::path& path, mode_t mode, uid_t uid = -1, gid_t gid = -1) {
  std::ofstream(path, std::ios::binary) << "old content\r\n";
  EXPECT_EQ(::chown(path.c_str(), uid, gid), 0);
  EXPECT_EQ(::chmod(path.c_str(), mode), 0);  // after chown, which clears set-ID bits
}

inline std::optional<gid_t> OtherGroupOfMine() {
  std::vector<gid_t> groups(static_cast<std::size_t>(::getgroups(0, nullptr)));
  groups.resize(
      static_cast<std::size_t>(::getgroups(static_cast<int>(groups.size()), groups.data())));
  for (const gid_t g : groups) {
    if (g != ::getegid()) return g;
  }
  return std::nullopt;
}

constexpr mode_t kUmask = 027;
constexpr uid_t kNobody = 65534;

struct Case {
  const char* name;
  // Fills the folder with files of `user` (who runs the writer); false when
  // this user cannot set the case up.
  std::function<bool(const fs::path& dir, uid_t user)> setup;
  const char* writeTo;  // the name the writer is given
  const char* lands;    // the file that takes the content when replaced
  int refusal;          // the errno of a refusal, 0 when replaced
  bool unprivileged;    // run by a user whom file permissions bind
};

inline std::vector<Case> Cases() {
  auto file = [](mode_t mode) {
    return [mode](const fs::path& dir, uid_t user) {
      MakeFile(dir / "out.txt", mode, user);
      return true;
    };
  };
  return {
      {"a private file stays private", file(0600), "out.txt", "out.txt", 0, false},
      {"group and other bits stay", file(0754), "out.txt", "out.txt", 0, false},
      {"the set-group-ID bit stays", file(02750), "out.txt", "out.txt", 0, false},
      {"owner and group stay",
       [](const fs::path& dir, uid_t) {
         if (::geteuid() == 0) {
           MakeFile(dir / "out.txt", 0640, kNobody, kNobody);
           return true;
         }
         const auto group = OtherGroupOfMine();  // a member may give a file that group
         if (group) MakeFile(dir / "out.txt", 0640, -1, *group);
         return group.has_value();
       },
       "out.txt", "out.txt", 0, false},
      {"a new file gets 0666 less the umask", [](const fs::path&, uid_t) { return true; },
       "out.txt", "out.txt", 0, false},
      {"a link stays a link and its target takes the content",
       [](const fs::path& dir, uid_t) {
         fs::create_directory(dir / "data");
         MakeFile(dir / "data" / "real.txt", 0600);
         fs::create_symlink(dir / "data" / "real.txt", dir / "out.txt");
         return true;
       },
       "out.txt", "data/real.txt", 0, false},
      {"a chain of relative links, each from its own folder",
       [](const fs::path& dir, uid_t) {
         fs::create_directory(dir / "sub");
         MakeFile(dir / "real.txt", 0640);
         fs::create_symlink("l2", dir / "out.txt");
         fs::create_symlink("sub/l3", dir / "l2");
         fs::create_symlink("../real.txt", dir / "sub" / "l3");
         return true;
       },
       "out.txt", "real.txt", 0, false},
      {"a dangling link creates its target",
       [](const fs::path& dir, uid_t) {
         fs::create_symlink("new.txt", dir / "out.txt");
         return true;
       },
       "out.txt", "new.txt", 0, false},
      {"a link loop is refused",
       [](const fs::path& dir, uid_t) {
         fs::create_symlink("out.txt", dir / "out.txt");
         return true;
       },
       "out.txt", nullptr, ELOOP, false},
      {"a read-only file is refused", file(0444), "out.txt", nullptr, EACCES, true},
      {"a link to a read-only file is refused",
       [](const fs::path& dir, uid_t user) {
         MakeFile(dir / "real.txt", 0444, user);
         fs::create_symlink("real.txt", dir / "out.txt");
         return true;
       },
       "out.txt", nullptr, EACCES, true},
      {"a file in a folder the user cannot write is refused",
       [](const fs::path& dir, uid_t user) {
         MakeFile(dir / "out.txt", 0644, user);
         fs::permissions(dir, fs::perms(0555));
         return true;
       },
       "out.txt", nullptr, EACCES, true},
      {"another user's file in a sticky folder is refused",
       [](const fs::path& dir, uid_t) {
         if (::geteuid() != 0) return false;  // needs a file of another user
         MakeFile(dir / "out.txt", 0666, 0, 0);
         EXPECT_EQ(::chown(dir.c_str(), 0, 0), 0);
         fs::permissions(dir, fs::perms(01777));
         return true;
       },
       "out.txt", nullptr, EPERM, true},
  };
}

// Runs the writer, in a child bound by file permissions when asked; answers
// the message of the error it raised, or nothing.
inline std::optional<std::string> Replace(const Writer& writer, const harvest::FilePath& path,
                                          bool unprivileged) {
  auto attempt = [&]() -> std::optional<std::string> {
    try {
      writer.replace(path);
      return std::nullopt;
    } catch (const harvest::Exception& e) {
      return e.Message();
    } catch (const std::exception& e) {  // never back into the test runner from a child
      return std::string("not the program's error: ") + e.what();
    }
  };
  if (!unprivileged) return attempt();
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return "no pipe";
  const int status = RunUnprivileged([&] {
    const auto message = attempt();
    if (!message) return 0;
    return ::write(pipeEnds[1], message->data(), message->size()) >= 0 ? 1 : 3;
  });
  ::close(pipeEnds[1]);
  std::string message;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, n);
  ::close(pipeEnds[0]);
  EXPECT_TRUE(status == 0 || status == 1) << "the child ended with " << status;
  if (status == 0) return std::nullopt;
  return message;
}

inline void CheckReplacementRules(const Writer& writer) {
  struct UmaskForTheCases {
    UmaskForTheCases() : previous(::umask(kUmask)) {}
    ~UmaskForTheCases() { ::umask(previous); }
    mode_t previous;
  } umaskForTheCases;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(std::string(writer.name) + ": " + c.name);
    const uid_t user = c.unprivileged && ::geteuid() == 0 ? kNobody : ::geteuid();
    TempDir dir;  // the writer's own folder
    EXPECT_EQ(::chown(dir.Path().c_str(), user, -1), 0);
    fs::permissions(dir.Path(), fs::perms(0755));
    if (!c.setup(dir.Path(), user)) {
      std::cout << "note: " << writer.name << ": " << c.name
                << ": not run, this user cannot set it up\n";
      continue;
    }
    const harvest::FilePath path = dir.File(c.writeTo);
    const Listing before = ListFolder(dir.Path());
    const auto message = Replace(writer, path, c.unprivileged);
    Listing expected = before;
    if (c.refusal == 0) {
      EXPECT_EQ(message, std::nullopt);
      const auto old = before.find(c.lands);
      expected[c.lands] =
          old != before.end()
              ? Entry{'f', writer.content, old->second.mode, old->second.uid, old->second.gid}
              : Entry{'f', writer.content, 0666 & ~kUmask, ::geteuid(), ::getegid()};
    } else {
      EXPECT_EQ(message, writer.refusal(path, c.refusal));
    }
    EXPECT_EQ(ListFolder(dir.Path()), expected);  // and nothing else appeared
  }
}

}  // namespace replacement_cases
