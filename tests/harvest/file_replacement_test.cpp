// Replacing a file: what the user had stays (replacement_cases.h), and no
// crash leaves anything behind in the folder.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>

#include "harvest/file_stream.h"
#include "harvest/posix_file.h"
#include "harvest/progress_file.h"
#include "replacement_cases.h"

namespace harvest {
namespace {

std::set<std::string> Names(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.insert(entry.path().filename());
  return names;
}

void WriteProgress(const FilePath& path) {
  WriteProgressFile(path, {"D:\\kw.txt", 5, true, 8});
}
void SaveList(const FilePath& path) {
  SaveLines(path, {"13800000000", "15900000000"});
}

// What the user reads: for the progress file the file error named by its
// code, for a saved list the stream error with the path.
std::string ProgressRefusal(const FilePath&, int err) {
  return err == EACCES || err == EPERM ? "File access denied" : "I/O error " + std::to_string(err);
}
std::string SaveRefusal(const FilePath& path, int) {
  return "Cannot create file " + path.text;
}

TEST(FileReplacement, KeepsModeOwnerAndLinksAndRefusesWhatTheUserMayNotWrite) {
  using replacement_cases::CheckReplacementRules;
  CheckReplacementRules(
      {"progress file", "D:\\kw.txt\r\n4\r\nqcyes\r\n8\r\n", WriteProgress, ProgressRefusal});
  CheckReplacementRules({"saved list", "13800000000\r\n15900000000\r\n", SaveList, SaveRefusal});
}

TEST(FileReplacement, WithLinksRefusedALinkIsLeftAloneAndAFileReplaced) {
  TempDir dir;
  dir.Write("real.txt", "theirs");
  std::filesystem::create_symlink("real.txt", dir.Path() / "to-file.conf");
  std::filesystem::create_symlink("new.txt", dir.Path() / "dangling.conf");
  dir.Write("own.conf", "old");
  const auto replace = [&](const char* name) {
    ReplacingWriter writer(ReplacingWriter::Temporary::Unnamed, ReplacingWriter::Links::Refuse);
    int err = writer.Begin(dir.Path() / name);
    if (err == 0 && (err = writer.Write("new")) == 0) err = writer.Commit();
    return err;
  };
  EXPECT_EQ(replace("to-file.conf"), ELOOP);
  EXPECT_EQ(replace("dangling.conf"), ELOOP);
  EXPECT_EQ(replace("own.conf"), 0);
  EXPECT_EQ(Names(dir.Path()),
            (std::set<std::string>{"real.txt", "to-file.conf", "dangling.conf", "own.conf"}));
  EXPECT_EQ(dir.Read("real.txt"), "theirs");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.Path() / "to-file.conf"));
  EXPECT_EQ(dir.Read("own.conf"), "new");
}

TEST(FileReplacement, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFileAndNothingElse) {
  TempDir dir;
  const std::string old = "the previous results\r\n";
  std::string fresh;
  for (int i = 0; fresh.size() < (4u << 20); ++i)
    fresh += std::to_string(13800000000LL + i) + "\r\n";
  // The kills fall across the whole of a replacement as long as it takes here.
  const auto start = std::chrono::steady_clock::now();
  SaveFileContent(dir.File("timing.txt"), fresh);
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  std::filesystem::remove(dir.Path() / "timing.txt");

  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<long> delay(0, took.count() * 5 / 4);
  int killedWhileNamed = 0;
  int killedBeforeTheRename = 0;
  for (int round = 0; round < 16; ++round) {
    dir.Write("results.txt", old);
    int started[2];
    ASSERT_EQ(::pipe(started), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::write(started[1], "!", 1) != 1) ::_exit(3);
      try {
        SaveFileContent(dir.File("results.txt"), fresh);
      } catch (const Exception&) {
        ::_exit(1);  // never back into the test runner
      }
      ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(started[0], &byte, 1), 1);
    ::close(started[0]);
    ::close(started[1]);
    ::usleep(static_cast<useconds_t>(delay(random)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 0) << "the writer failed";
    const std::string now = dir.Read("results.txt");
    EXPECT_TRUE(now == old || now == fresh) << "a torn file of " << now.size() << " bytes";
    if (now == old) ++killedBeforeTheRename;
    auto names = Names(dir.Path());
    names.erase("results.txt");
    if (names.empty()) continue;
    // Killed between naming the finished file and the rename, the only moment
    // a name exists: it holds the whole new content, and the next write of
    // the target removes it.
    ++killedWhileNamed;
    const std::string left = "results.txt.tmp" + std::to_string(pid) + "-0";
    EXPECT_EQ(names, std::set<std::string>{left});
    EXPECT_TRUE(dir.Read(left) == fresh) << "the name holds " << dir.Read(left).size() << " bytes";
    SaveFileContent(dir.File("results.txt"), old);
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"results.txt"});
  }
  // That moment is two system calls long; more than one hit in a few rounds
  // means the name exists for longer.
  EXPECT_LE(killedWhileNamed, 1);
  EXPECT_GT(killedBeforeTheRename, 0) << "no kill came in the middle of a write";
}

TEST(FileReplacement, TheNextWriteRemovesTemporariesThatDeadWritersLeft) {
  TempDir dir;
  const auto target = dir.Path() / "results.txt";
  for (const auto next : {ReplacingWriter::Temporary::Named, ReplacingWriter::Temporary::Unnamed}) {
    SCOPED_TRACE(next == ReplacingWriter::Temporary::Named ? "next write named"
                                                           : "next write unnamed");
    dir.Write("results.txt", "previous\r\n");
    // A writer on a file system without unnamed files, killed in the middle.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t dead = ::fork();
    if (dead == 0) {
      ReplacingWriter writer(ReplacingWriter::Temporary::Named);
      if (writer.Begin(target) != 0 || writer.Write("half of it") != 0 ||
          ::write(ready[1], "!", 1) != 1) {
        ::_exit(3);
      }
      ::pause();
      ::_exit(0);
    }
    ::close(ready[1]);  // a child that fails closes the pipe: no wait for ever
    char byte = 0;
    const auto got = ::read(ready[0], &byte, 1);
    ::close(ready[0]);
    ::kill(dead, SIGKILL);
    ::waitpid(dead, nullptr, 0);
    ASSERT_EQ(got, 1) << "the writer did not start";
    const std::string stale = "results.txt.tmp" + std::to_string(dead) + "-0";
    EXPECT_EQ(dir.Read(stale), "half of it");
    // What stays: a live writer's file, another target's, names of another shape.
    const pid_t alive = ::fork();
    if (alive == 0) {
      ::pause();
      ::_exit(0);
    }
    const std::set<std::string> kept{
        "results.txt", "results.txt.tmp" + std::to_string(alive) + "-3",
        "other.txt.tmp" + std::to_string(dead) + "-0", "results.txt.tmp" + std::to_string(dead),
        "results.txt.tmp" + std::to_string(dead) + "-0.bak"};
    for (const auto& name : kept) {
      if (name != "results.txt") dir.Write(name, "x");
    }

    ReplacingWriter writer(next);
    ASSERT_EQ(writer.Begin(target), 0);
    ASSERT_EQ(writer.Write("new\r\n"), 0);
    EXPECT_EQ(writer.Commit(), 0);
    EXPECT_EQ(Names(dir.Path()), kept);
    EXPECT_EQ(dir.Read("results.txt"), "new\r\n");

    ::kill(alive, SIGKILL);
    ::waitpid(alive, nullptr, 0);
    for (const auto& name : kept) {
      if (name != "results.txt") std::filesystem::remove(dir.Path() / name);
    }
  }
}

}  // namespace
}  // namespace harvest
