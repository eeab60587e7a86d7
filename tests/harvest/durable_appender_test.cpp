// The run's own numbers file: appended in order by the writer thread, made
// new and private (its folder never made through a link another could have
// put there), its failure told once and nothing written after it; an
// earlier one gone on with from where its record counted.

#include "harvest/durable_appender.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "child_process.h"
#include "temp_dir.h"

namespace harvest {
namespace {

namespace fs = std::filesystem;

TEST(DurableAppender, AppendsInOrderToANewFileOfItsUsersAlone) {
  WriterThread writer;
  TempDir dir;
  const fs::path wanted = dir.Path() / "runs" / "2026-12-08_010203.txt";
  {
    DurableAppender file(wanted, writer, NewFile{});
    EXPECT_EQ(file.Path(), wanted);  // the folder made on the way
    for (int i = 0; i < 1000; ++i) file.Append("1380000" + std::to_string(1000 + i) + "\r\n");
    file.Flush();
    EXPECT_EQ(fs::file_size(wanted), 1000u * 13);
    EXPECT_EQ(file.TakeFailure(), std::nullopt);
  }
  const std::string bytes = dir.Read("runs/2026-12-08_010203.txt");
  EXPECT_EQ(bytes.substr(0, 26), "13800001000\r\n13800001001\r\n");
  EXPECT_EQ(fs::status(wanted).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(DurableAppender, NeverTakesOverAnExistingNameNorFollowsALink) {
  WriterThread writer;
  TempDir dir;
  dir.Write("run.txt", "an earlier run's");
  dir.Write("victim.txt", "mine");
  fs::create_symlink(dir.Path() / "victim.txt", dir.Path() / "run-2.txt");
  DurableAppender file(dir.Path() / "run.txt", writer, NewFile{});
  EXPECT_EQ(file.Path(), dir.Path() / "run-3.txt");
  file.Append("13800000001\r\n");
  file.Flush();
  EXPECT_EQ(dir.Read("run.txt"), "an earlier run's");
  EXPECT_EQ(dir.Read("victim.txt"), "mine");
  EXPECT_EQ(dir.Read("run-3.txt"), "13800000001\r\n");
}

// A link at `at` to the folder `victim`, in a folder `shared` others may
// write or `own` only its owner may.
struct FolderLinkCase {
  const char* at;
  bool byAnotherUser;
  const char* file;    // the run file asked for
  const char* madeAt;  // where it is made, through a link its folder's owner made; none: refused
};

TEST(DurableAppender, MakesItsFolderNeverThroughALinkAnotherUserCouldHavePut) {
  const FolderLinkCase cases[] = {
      {"shared/runs", false, "shared/runs/r.txt", nullptr},
      {"shared/kelvane", false, "shared/kelvane/runs/r.txt", nullptr},
      {"own/runs", true, "own/runs/r.txt", nullptr},
      {"own/home", false, "own/home/kelvane/runs/r.txt", "victim/kelvane/runs/r.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TempDir dir;
    for (const char* folder : {"shared", "own", "victim"})
      fs::create_directory(dir.Path() / folder);
    ::chmod((dir.Path() / "shared").c_str(), 0777);
    ::chmod((dir.Path() / "own").c_str(), 0755);
    fs::create_symlink(dir.Path() / "victim", dir.Path() / c.at);
    // Another user's link needs root to make.
    if (c.byAnotherUser && ::lchown((dir.Path() / c.at).c_str(), 65534, 65534) != 0) continue;
    WriterThread writer;
    {
      DurableAppender file(dir.Path() / c.file, writer, NewFile{});
      file.Append("13800000001\r\n");
      file.Flush();
      EXPECT_EQ(file.TakeFailure().has_value(), c.madeAt == nullptr);
    }
    if (c.madeAt) {
      EXPECT_EQ(dir.Read(c.madeAt), "13800000001\r\n");
    } else {
      EXPECT_TRUE(fs::is_empty(dir.Path() / "victim"));  // nothing made through the link
    }
  }
}

TEST(DurableAppender, GoesOnWithAnEarlierFileOnlyWhenItIsTheUsersOwn) {
  WriterThread writer;
  TempDir dir;
  dir.Write("run.txt", "13800000001\r\n");
  {
    DurableAppender file(dir.Path() / "run.txt", writer, EarlierFile{});
    EXPECT_EQ(file.Path(), dir.Path() / "run.txt");
    file.Append("13800000002\r\n");
  }
  EXPECT_EQ(dir.Read("run.txt"), "13800000001\r\n13800000002\r\n");

  // Missing, a link, or a file with another name: left as it is, no path
  // given back, nothing told (the caller makes a new file).
  dir.Write("victim.txt", "mine");
  fs::create_symlink(dir.Path() / "victim.txt", dir.Path() / "link.txt");
  fs::create_hard_link(dir.Path() / "victim.txt", dir.Path() / "second-name.txt");
  for (const char* name : {"missing.txt", "link.txt", "second-name.txt"}) {
    DurableAppender file(dir.Path() / name, writer, EarlierFile{});
    EXPECT_TRUE(file.Path().empty()) << name;
    EXPECT_EQ(file.TakeFailure(), std::nullopt) << name;
    file.Append("13800000003\r\n");
    file.Flush();
  }
  EXPECT_EQ(dir.Read("victim.txt"), "mine");
  EXPECT_FALSE(fs::exists(dir.Path() / "missing.txt"));
}

struct EarlierLengthCase {
  const char* what;
  std::optional<std::uint64_t> counted;  // what the record counted in it
  std::string goesOnFrom;
};

TEST(DurableAppender, GoesOnWithAnEarlierFileFromWhatItsRecordCounted) {
  const std::string earlier = "13800000001\r\n13800000002\r\n";
  const EarlierLengthCase cases[] = {
      {"a step the record never saw: cut", 13, "13800000001\r\n"},
      {"as the record counted it", 26, earlier},
      {"shorter than counted (its writing failed): as it is", 39, earlier},
      {"no count: as it is", std::nullopt, earlier},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    dir.Write("run.txt", earlier);
    WriterThread writer;
    {
      DurableAppender file(dir.Path() / "run.txt", writer, EarlierFile{c.counted});
      EXPECT_EQ(file.Length(), c.goesOnFrom.size());
      file.AppendLines({"13900000001"});
      EXPECT_EQ(file.Length(), c.goesOnFrom.size() + 13);
    }
    EXPECT_EQ(dir.Read("run.txt"), c.goesOnFrom + "13900000001\r\n");
  }
}

TEST(DurableAppender, AFailureIsToldOnceAndNothingIsWrittenAfterIt) {
  TempDir dir;
  // Runs in a child with a file-size limit: writes fall short as on a full disk.
  const int status = RunWithFileSizeLimit(40, [&] {
    WriterThread writer;
    DurableAppender file(dir.Path() / "run.txt", writer, NewFile{});
    file.Append(std::string(30, 'a'));
    file.Flush();
    file.Append(std::string(30, 'b'));  // beyond the limit
    file.Flush();
    const auto failure = file.TakeFailure();
    if (failure != std::optional<std::string>("Disk full")) return 1;
    if (file.TakeFailure()) return 2;  // once
    file.Append("c");
    file.Flush();
    return 0;
  });
  EXPECT_EQ(status, 0);
  const std::string bytes = dir.Read("run.txt");
  EXPECT_EQ(bytes.substr(0, 30), std::string(30, 'a'));
  EXPECT_EQ(bytes.find('c'), std::string::npos);
}

TEST(DurableAppender, AFileThatCannotBeMadeIsTold) {
  WriterThread writer;
  TempDir dir;
  dir.Write("taken", "a file where the folder should be");
  DurableAppender file(dir.Path() / "taken" / "run.txt", writer, NewFile{});
  EXPECT_TRUE(file.Path().empty());
  EXPECT_TRUE(file.TakeFailure().has_value());
  file.Append("13800000001\r\n");  // nothing to do, nothing to wait for
  file.Flush();
}

}  // namespace
}  // namespace harvest
