// The recovery record and what it finds at its path: files it must not trust
// are left exactly as they were, the user's own file it cannot read is moved
// aside whole for a new record, a Restart killed at any point leaves a whole
// record, and after a failed write nothing more is written.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <regex>
#include <tuple>

#include "child_process.h"
#include "harvest/posix_file.h"
#include "harvest/recovery_record.h"
#include "lone_record.h"
#include "temp_dir.h"

namespace harvest {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// What a folder's entry is, as far as a write, a truncation, a chmod, a
// creation or a removal would change it.
struct Entry {
  mode_t mode = 0;
  uid_t owner = 0;
  nlink_t links = 0;
  off_t size = 0;
  std::tuple<time_t, long, time_t, long> times;  // modified, changed
  std::string content;                           // the bytes, or the link's target
  bool operator==(const Entry&) const = default;
};

// The folder itself (as ".") and everything in it.
std::map<std::string, Entry> Snapshot(const fs::path& folder) {
  std::map<std::string, Entry> entries;
  const auto take = [&](const fs::path& path, const std::string& name) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return;
    Entry& e = entries[name];
    e = {info.st_mode,
         info.st_uid,
         info.st_nlink,
         info.st_size,
         {info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_ctim.tv_sec, info.st_ctim.tv_nsec},
         {}};
    if (S_ISLNK(info.st_mode)) e.content = fs::read_symlink(path).string();
    if (S_ISREG(info.st_mode)) {
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      char buffer[4096];
      for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        e.content.append(buffer, static_cast<std::size_t>(n));
      if (fd >= 0) ::close(fd);
    }
  };
  take(folder, ".");
  for (const auto& item : fs::directory_iterator(folder))
    take(item.path(), item.path().filename().string());
  return entries;
}

std::string RecordOf(const std::vector<std::string>& rows, const RunPlace& place) {
  return std::string(kRecoveryHeader) + EncodeRecordPart(true, place, rows, 0);
}

const std::vector<std::string> kOldRows = {"13800000001", "13800000002", "13800000003"};
const RunPlace kOldPlace = {2, 3, "kw.txt", true, ""};
const std::vector<std::string> kNewRows = {"15900000001", "15900000002", "15900000003",
                                           "15900000004", "15900000005"};
const RunPlace kNewPlace = {4, 5, "kw.txt", false, "/home/u/run-15.txt"};
const std::string kRandomBytes = "\x9b\x1f\0\xe4\x7a\xc3\x10\0\0\xff\x5e\x88\x02"s;

ResultList ListOf(const std::vector<std::string>& rows) {
  ResultList list;
  for (const auto& row : rows) list.Append(row);
  return list;
}

// The old state as a program kept it: a restart and a part appended.
void WriteOldRecord(const fs::path& path) {
  LoneRecord record(path);
  ResultList list = ListOf({kOldRows[0], kOldRows[1]});
  record.Restart(list, kOldPlace);
  list.Append(kOldRows[2]);
  record.Keep(list, kOldPlace);
}

// What lies at the record's path, made by `plant` in `folder`.
struct PlantedCase {
  const char* what;
  std::function<void(const TempDir&, const fs::path& record)> plant;
  RefusalReason reason;
  bool byAnotherUser;  // the program runs as "nobody", the file is root's (unless given to it)
};

// What a program does with a record it did not get: every call, then its end.
// 0, or the number of the first thing that went wrong.
int UseRefused(const fs::path& path, RefusalReason reason) {
  LoneRecord record(path);
  if (record.Held()) return 1;
  if (record.Refusal() != RecordRefusal{path, reason}) return 2;
  if (record.TakeFailure()) return 3;  // a refusal, not a failure
  if (!record.Read().rows.empty()) return 4;
  ResultList list = ListOf(kNewRows);
  record.Restart(list, kNewPlace);
  list.Append("15900000006");
  record.Keep(list, kNewPlace);
  record.Flush();
  record.Remove();
  return 0;
}

TEST(RecoveryRecordTrust, AFileItMustNotTrustIsLeftAsItWasAndTheReasonGiven) {
  const PlantedCase cases[] = {
      {"a symbolic link to the user's own file",
       [](const TempDir& d, const fs::path& r) {
         d.Write("victim.txt", "the victim's own words\n");
         ::chmod((d.Path() / "victim.txt").c_str(), 0644);
         fs::create_symlink("victim.txt", r);
       },
       RefusalReason::kSymbolicLink, false},
      {"a symbolic link to nothing (its target is not created)",
       [](const TempDir&, const fs::path& r) { fs::create_symlink("made-by-the-record", r); },
       RefusalReason::kSymbolicLink, false},
      {"a named pipe (the open does not hang)",
       [](const TempDir&, const fs::path& r) { ::mkfifo(r.c_str(), 0600); },
       RefusalReason::kNotARegularFile, false},
      {"a folder", [](const TempDir&, const fs::path& r) { fs::create_directory(r); },
       RefusalReason::kNotARegularFile, false},
      {"random bytes with a second name",
       [](const TempDir& d, const fs::path& r) {
         d.Write("elsewhere", kRandomBytes);
         fs::create_hard_link(d.Path() / "elsewhere", r);
       },
       RefusalReason::kHasOtherLinks, false},
      {"the user's own random bytes in a folder they may not write: not moved aside",
       [](const TempDir& d, const fs::path& r) {
         d.Write(r.filename().string(), kRandomBytes);
         EXPECT_EQ(::chown(r.c_str(), 65534, 65534), 0);
       },
       RefusalReason::kNotARecord, true},
      {"another user's file, open to all",
       [](const TempDir& d, const fs::path& r) {
         d.Write(r.filename().string(), RecordOf(kOldRows, kOldPlace));
         ::chmod(r.c_str(), 0666);
       },
       RefusalReason::kOwnedByAnotherUser, true},
      {"another user's random bytes, readable by all",
       [](const TempDir& d, const fs::path& r) {
         d.Write(r.filename().string(), kRandomBytes);
         ::chmod(r.c_str(), 0644);
       },
       RefusalReason::kOwnedByAnotherUser, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.byAnotherUser && ::geteuid() != 0) {
      std::cout << "skipped (needs root to make another user's file): " << c.what << "\n";
      continue;
    }
    TempDir dir;
    const fs::path path = dir.Path() / kRecoveryFileName;
    c.plant(dir, path);
    if (c.byAnotherUser) ::chmod(dir.Path().c_str(), 0755);  // "nobody" may look in
    const auto before = Snapshot(dir.Path());
    const int status = c.byAnotherUser ? RunUnprivileged([&] { return UseRefused(path, c.reason); })
                                       : UseRefused(path, c.reason);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Snapshot(dir.Path()), before);
  }
}

struct DamagedCase {
  const char* what;
  std::string bytes;
  RefusalReason reason;
};

TEST(RecoveryRecordTrust, TheUsersOwnFileItCannotReadIsMovedAsideWholeForANewRecord) {
  const DamagedCase cases[] = {
      {"random bytes", kRandomBytes, RefusalReason::kNotARecord},
      {"some other file", "notes to self\n", RefusalReason::kNotARecord},
      {"a later version's record", "Kelvane recovery record 2\n\x10\0\0\0later"s,
       RefusalReason::kOtherVersion},
      {"a later version's header cut short", "Kelvane recovery record 2",
       RefusalReason::kOtherVersion},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path path = dir.Path() / kRecoveryFileName;
    dir.Write(kRecoveryFileName, c.bytes);
    ::chmod(path.c_str(), 0640);
    std::string moved;
    {
      LoneRecord record(path);
      ASSERT_TRUE(record.Held() && record.MovedAside() && !record.Refusal());
      EXPECT_EQ(record.MovedAside()->reason, c.reason);
      moved = record.MovedAside()->movedTo.filename();
      record.Restart(ListOf(kNewRows), kNewPlace);
    }
    EXPECT_EQ(LoneRecord(path).MovedAside(), std::nullopt);  // the next start takes the new one
    EXPECT_TRUE(std::regex_match(moved, std::regex(R"(\.kelvane\.recovery\.damaged-\d{8}-\d{6})")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
    EXPECT_EQ(dir.Read(moved), c.bytes);
    EXPECT_EQ(fs::status(dir.Path() / moved).permissions(), fs::perms(0640));
    EXPECT_EQ(DecodeRecord(dir.Read(kRecoveryFileName)).rows, kNewRows);
  }
}

TEST(RecoveryRecordTrust, ADamagedRecordsNameTakenIsNeitherReplacedNorFollowed) {
  TempDir dir;
  const fs::path wanted = dir.Path() / ".kelvane.recovery.damaged-20260101-000000";
  dir.Write(kRecoveryFileName, "damaged");
  dir.Write(wanted.filename().string(), "moved aside before");
  fs::create_symlink("made-by-the-rename", wanted.string() + "-2");
  fs::path given;
  ASSERT_EQ(RenameToFreeName(dir.Path() / kRecoveryFileName, wanted, &given), 0);
  EXPECT_EQ(given, wanted.string() + "-3");
  EXPECT_EQ(dir.Read(given.filename()), "damaged");
  EXPECT_EQ(dir.Read(wanted.filename()), "moved aside before");
  EXPECT_TRUE(fs::is_symlink(wanted.string() + "-2"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 3);
}

struct TakenCase {
  const char* what;
  std::optional<std::string> bytes;  // none: no file yet
};

TEST(RecoveryRecordTrust, AFileThatHoldsNoRecordYetIsTakenAsTheRecord) {
  const TakenCase cases[] = {
      {"no file", std::nullopt},
      {"an empty file", ""},
      {"a header cut short by a crash of an older program", "Kelvane recov"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path path = dir.Path() / kRecoveryFileName;
    if (c.bytes) {
      dir.Write(kRecoveryFileName, *c.bytes);
      ::chmod(path.c_str(), 0644);
    }
    LoneRecord record(path);
    ASSERT_TRUE(record.Held());
    EXPECT_EQ(record.Refusal(), std::nullopt);
    EXPECT_EQ(record.Read().parts, 0);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    record.Restart(ListOf(kNewRows), kNewPlace);
    EXPECT_EQ(record.OnDisk().rows, kNewRows);
  }
}

// The record's lock is on the file the name leads to: a Restart's new file
// is locked before it takes the name, and the old one goes with its lock.
TEST(RecoveryRecordTrust, TheRecordARestartWroteIsStillKeptByOneProgram) {
  TempDir dir;
  const fs::path path = dir.Path() / kRecoveryFileName;
  {
    LoneRecord first(path);
    ASSERT_TRUE(first.Held());
    for (int restart = 0; restart < 2; ++restart) {
      first.Restart(ListOf(kNewRows), kNewPlace);
      LoneRecord second(path);
      EXPECT_FALSE(second.Held());
      EXPECT_EQ(second.TakeFailure(), std::nullopt);
      EXPECT_EQ(second.Refusal(), std::nullopt);
    }
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  }
  LoneRecord third(path);
  EXPECT_TRUE(third.Held());
  EXPECT_EQ(third.Read().rows, kNewRows);
}

struct CrashCase {
  RecoveryRecord::RestartStep killedAt;
  bool newRecord;  // what the disk holds afterwards: the new record, or the old one
};

TEST(RecoveryRecordTrust, ARestartKilledAnywhereLeavesTheOldRecordOrTheNewWhole) {
  using Step = RecoveryRecord::RestartStep;
  const CrashCase cases[] = {
      {Step::kCreated, false}, {Step::kHeaderWritten, false}, {Step::kWritten, false},
      {Step::kFlushed, false}, {Step::kRenamed, true},        {Step::kDone, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.killedAt));
    TempDir dir;
    const fs::path path = dir.Path() / kRecoveryFileName;
    WriteOldRecord(path);
    ASSERT_EQ(DecodeRecord(dir.Read(kRecoveryFileName)).rows, kOldRows);

    const int status = RunInChild([&] {
      LoneRecord record(path);
      if (!record.Held()) return 1;
      record.OnRestartStep([&](Step step) {
        if (step == c.killedAt) ::raise(SIGKILL);
      });
      record.Restart(ListOf(kNewRows), kNewPlace);
      return 0;
    });
    ASSERT_EQ(status, 128 + SIGKILL);

    const RecoveredRun onDisk = DecodeRecord(dir.Read(kRecoveryFileName));
    EXPECT_EQ(onDisk.rows, c.newRecord ? kNewRows : kOldRows);
    EXPECT_EQ(onDisk.place, c.newRecord ? kNewPlace : kOldPlace);
    // The next start takes it as it is, whatever the killed program left
    // beside it, and writes it afresh without leaving anything more.
    LoneRecord next(path);
    ASSERT_TRUE(next.Held());
    EXPECT_EQ(next.Read().rows, onDisk.rows);
    next.Restart(ListOf(kOldRows), kOldPlace);
    EXPECT_EQ(next.OnDisk().parts, 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
  }
}

// A failure somewhere, then a run that goes on: Keep, Restart and Keep again.
struct FailureCase {
  const char* what;
  rlim_t limit;  // a write beyond this many bytes of a file falls short
  std::function<void(RecoveryRecord&, ResultList&)> failingStep;
};

TEST(RecoveryRecordTrust, AfterAFailedWriteNothingIsAppendedUntilARestartWritesItWhole) {
  const FailureCase cases[] = {
      {"a Restart's new file falls short", 60,
       [](RecoveryRecord& r, ResultList& l) { r.Restart(l, kNewPlace); }},
      {"a part appended falls short", 512,
       [](RecoveryRecord& r, ResultList& l) {
         r.Restart(l, kNewPlace);
         for (int i = 0; i < 2400; ++i) l.Append(std::to_string(13900000000LL + i));
         r.Keep(l, kNewPlace);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path path = dir.Path() / kRecoveryFileName;
    WriteOldRecord(path);
    std::vector<std::string> rowsAtLast;
    const int status = RunWithFileSizeLimit(c.limit, [&] {
      LoneRecord record(path);
      ResultList list = ListOf(kNewRows);
      c.failingStep(record, list);
      record.Flush();
      if (record.TakeFailure() != std::optional<std::string>("Disk full")) return 1;
      const auto failed = Snapshot(dir.Path());
      list.Append("13700000001");
      record.Keep(list, kNewPlace);  // nothing, after a failure
      record.Flush();
      if (Snapshot(dir.Path()) != failed) return 2;  // no byte, no file, no time changed
      // Still no room: a Restart fails too, told again, the record as it
      // was and nothing left beside it.
      record.Restart(list, kOldPlace);
      record.Flush();
      if (record.TakeFailure() != std::optional<std::string>("Disk full")) return 3;
      const auto tried = Snapshot(dir.Path());
      if (tried.size() != failed.size() ||
          tried.at(kRecoveryFileName) != failed.at(kRecoveryFileName))
        return 4;
      if (!record.Held()) return 5;  // still this program's: no other takes it
      // Room again: the Restart writes it whole, and parts follow.
      rlimit room{};
      ::getrlimit(RLIMIT_FSIZE, &room);
      room.rlim_cur = room.rlim_max;
      ::setrlimit(RLIMIT_FSIZE, &room);
      record.Restart(list, kOldPlace);
      list.Append("13700000002");
      record.Keep(list, kOldPlace);
      const RecoveredRun now = record.OnDisk();
      if (record.TakeFailure() || now.rows != list.Rows() || now.place != kOldPlace) return 6;
      return 0;
    });
    EXPECT_EQ(status, 0);
  }
}

}  // namespace
}  // namespace harvest
