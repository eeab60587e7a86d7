// The run's own numbers file: appended in order by the writer thread, made
// new and private (its folder never made through a link another could have
// put there), its failure told once and nothing written after it; an
// earlier one gone on with from where its record counted.

#include "harvest/durable_appender.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "child_process.h"
#include "harvest/crc32.h"
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
  writer.Flush();  // the file goes without waiting for its bytes
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

// The run file a record counted, as it may be found after a crash.
struct CountedCase {
  const char* what;
  std::string found;       // the file's bytes when the run goes on
  bool sameFile;           // the very file the record counted (not replaced)
  std::string goesOnFrom;  // what it holds before the next numbers; none: left as it is
};

TEST(DurableAppender, GoesOnWithTheFileItsRecordCountedOnlyAsCounted) {
  const std::string counted = "13800000001\r\n13800000002\r\n";
  const CountedCase cases[] = {
      {"as counted", counted, true, counted},
      {"a step the record never saw: cut at the count", counted + "13800000003\r\n", true, counted},
      {"a line the user added at its top", "numbers:\r\n" + counted, true, ""},
      {"lines the user added at its end", counted + "kept by hand\r\n", true, ""},
      {"a line a full disk cut short past the count", counted + "13800000003\r\n1380", true,
       counted},
      {"half a line of something else past the count", counted + "1380x", true, ""},
      {"shorter than counted: its writing failed", counted.substr(0, 20), true, ""},
      {"another file under its name", counted, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    dir.Write("run.txt", counted);
    CountedFile record;
    {
      WriterThread writer;
      DurableAppender made(dir.Path() / "run.txt", writer, EarlierFile{});
      record = {made.Identity(), counted.size(), Crc32(counted)};
    }
    if (!c.sameFile) {
      fs::remove(dir.Path() / "run.txt");
      dir.Write("other.txt", "");  // takes the freed inode number, if any
    }
    dir.Write("run.txt", c.found);
    WriterThread writer;
    {
      DurableAppender file(dir.Path() / "run.txt", writer, EarlierFile{record});
      EXPECT_EQ(file.Path().empty(), c.goesOnFrom.empty());
      if (!file.Path().empty()) {
        EXPECT_EQ(file.Length(), c.goesOnFrom.size());
        file.AppendLines({"13900000001"});
      }
    }
    writer.Flush();
    EXPECT_EQ(dir.Read("run.txt"),
              c.goesOnFrom.empty() ? c.found : c.goesOnFrom + "13900000001\r\n");
  }
}

TEST(DurableAppender, WhatCannotBeWrittenIsKeptAndWrittenWholeOnceItCan) {
  TempDir dir;
  // In a child with a file-size limit: writes fall short as on a full disk.
  const int status = RunWithFileSizeLimit(40, [&] {
    WriterThread writer;
    DurableAppender file(dir.Path() / "run.txt", writer, NewFile{});
    file.AppendLines({"13800000001", "13800000002"});
    file.Flush();
    file.AppendLines({"13800000003", "13800000004"});  // past the limit: cut short
    file.Flush();
    if (file.TakeFailure() != std::optional<std::string>("Disk full")) return 1;
    file.AppendLines({"13800000005"});  // kept too, in order
    file.Flush();
    const WriterThread::OnDisk disk = file.Disk();
    if (disk.length != 26 || disk.unwritten != "13800000003\r\n13800000004\r\n13800000005\r\n")
      return 2;
    // Room again: the cut line goes, the kept numbers follow whole.
    rlimit room{};
    ::getrlimit(RLIMIT_FSIZE, &room);
    room.rlim_cur = room.rlim_max;
    if (::setrlimit(RLIMIT_FSIZE, &room) != 0) return 3;
    writer.Retry(file.Channel());
    writer.Flush();
    if (file.TakeFailure() || file.Disk().length != 65 || !file.Disk().unwritten.empty()) return 4;
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(dir.Read("run.txt"),
            "13800000001\r\n13800000002\r\n13800000003\r\n13800000004\r\n13800000005\r\n");
}

TEST(DurableAppender, AFileThatCannotBeMadeIsToldAndKeepsWhatItIsHanded) {
  WriterThread writer;
  TempDir dir;
  dir.Write("taken", "a file where the folder should be");
  DurableAppender file(dir.Path() / "taken" / "run.txt", writer, NewFile{});
  EXPECT_TRUE(file.Path().empty());
  EXPECT_TRUE(file.TakeFailure().has_value());
  file.Append("13800000001\r\n");
  file.Flush();
  EXPECT_EQ(file.Disk().unwritten, "13800000001\r\n");
}

}  // namespace
}  // namespace harvest
