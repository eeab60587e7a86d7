#include "harvest/recovery_record.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "harvest/crc32.h"
#include "lone_record.h"
#include "temp_dir.h"

namespace harvest {
namespace {

using namespace std::string_view_literals;

std::string Number(int i) {
  return std::to_string(13800000000LL + i);
}

void AppendNumbers(ResultList& list, int count) {
  static int next = 0;
  for (int i = 0; i < count; ++i) list.Append(Number(next++));
}

RunPlace Place(int resumePoint, int found) {
  return {resumePoint, found, "/home/u/\xB9\xD8\xBC\xFC\xD7\xD6.txt", true, ""};  // "关键字.txt"
}

// Steps of a run as the window records them: each changes the list or the
// place, then the record keeps what changed.
struct RecordCase {
  const char* what;
  std::function<void(ResultList&, RunPlace&)> steps[4];
};

TEST(RecoveryRecord, HoldsTheListAndPlaceAsTheyStoodAtTheLastKeep) {
  const RecordCase cases[] = {
      {"rows appended tick by tick",
       {[](ResultList& l, RunPlace& p) {
          AppendNumbers(l, 3);
          p.foundCount = 3;
        },
        [](ResultList& l, RunPlace& p) {
          AppendNumbers(l, 2400);
          p.foundCount += 2400;
        },
        [](ResultList&, RunPlace& p) { p.resumePoint = 2; }}},
      {"the 51-row rule: emptied and refilled within a tick",
       {[](ResultList& l, RunPlace&) { AppendNumbers(l, 50); },
        [](ResultList& l, RunPlace&) {
          l.Clear();
          AppendNumbers(l, 7);
        },
        [](ResultList& l, RunPlace&) { AppendNumbers(l, 1); }}},
      {"a new run's clear, then its first page",
       {[](ResultList& l, RunPlace& p) {
          AppendNumbers(l, 20);
          p = Place(3, 20);
        },
        [](ResultList& l, RunPlace& p) {
          l.Clear();
          p = Place(1, 0);
        },
        [](ResultList& l, RunPlace& p) {
          AppendNumbers(l, 4);
          p.foundCount = 4;
        }}},
      {"the run's own numbers file named, renamed, then none",
       {[](ResultList& l, RunPlace& p) {
          AppendNumbers(l, 2);
          p.runFile = "/home/u/\xBA\xC5\xC2\xEB-1.txt";  // "号码-1.txt"
          p.runFileLength = 26;
        },
        [](ResultList&, RunPlace& p) { p.runFileLength = 5'000'000'000; },  // past 32 bits
        [](ResultList&, RunPlace& p) {
          p.runFile = "/home/u/numbers-2.txt";
          p.runFileLength = 0;
        },
        [](ResultList& l, RunPlace& p) {
          AppendNumbers(l, 1);
          p.runFile.clear();
        }}},
      {"rows that repeat (de-duplication off), and a tick that changed nothing",
       {[](ResultList& l, RunPlace&) {
          l.Append("15900000001");
          l.Append("15900000001");
        },
        [](ResultList&, RunPlace&) {}, [](ResultList& l, RunPlace&) { l.Append("15900000001"); }}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const auto path = dir.Path() / kRecoveryFileName;
    ResultList list;
    RunPlace place = Place(1, 0);
    LoneRecord record(path);
    ASSERT_TRUE(record.Held());
    record.Restart(list, place);
    record.Flush();
    for (const auto& step : c.steps) {
      if (!step) break;
      const auto before = std::filesystem::file_size(path);
      const auto countBefore = list.Count();
      const auto clearsBefore = list.Clears();
      const RunPlace placeBefore = place;
      step(list, place);
      record.Keep(list, place);
      record.Flush();
      const bool changed =
          list.Count() != countBefore || list.Clears() != clearsBefore || !(place == placeBefore);
      EXPECT_EQ(std::filesystem::file_size(path) > before, changed)
          << "a part exactly when something changed";
      // The file as a second start reads it.
      const RecoveredRun read = DecodeRecord(dir.Read(kRecoveryFileName));
      EXPECT_EQ(read.rows, list.Rows());
      EXPECT_EQ(read.place, place);
    }
    // A restore writes it afresh, as one part.
    const auto grown = std::filesystem::file_size(path);
    record.Restart(list, place);
    EXPECT_EQ(record.OnDisk().rows, list.Rows());
    EXPECT_EQ(record.OnDisk().parts, 1);
    EXPECT_LE(std::filesystem::file_size(path), grown);
  }
}

// A record of three parts, cut anywhere: what the whole parts before the
// cut hold.
TEST(RecoveryRecord, ARecordCutShortHoldsItsWholeParts) {
  ResultList list;
  std::string bytes(kRecoveryHeader);
  std::vector<std::size_t> partEnds;
  std::vector<std::vector<std::string>> rowsAfter;
  for (int part = 0; part < 3; ++part) {
    const std::size_t from = static_cast<std::size_t>(list.Count());
    AppendNumbers(list, 5);
    bytes += EncodeRecordPart(false, Place(part + 1, list.Count()), list.Rows(), from);
    partEnds.push_back(bytes.size());
    rowsAfter.push_back(list.Rows());
  }
  for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    int whole = 0;
    while (whole < 3 && partEnds[static_cast<std::size_t>(whole)] <= cut) ++whole;
    const RecoveredRun read = DecodeRecord(std::string_view(bytes).substr(0, cut));
    ASSERT_EQ(read.parts, whole);
    if (whole > 0) {
      EXPECT_EQ(read.rows, rowsAfter[static_cast<std::size_t>(whole - 1)]);
      EXPECT_EQ(read.place.resumePoint, whole);
    } else {
      EXPECT_TRUE(read.rows.empty());
    }
  }
}

struct DamagedCase {
  const char* what;
  std::function<void(std::string&)> damage;
  int partsLeft;
};

TEST(RecoveryRecord, AForeignOrDamagedFileHoldsWhatComesBeforeTheDamage) {
  const DamagedCase cases[] = {
      {"another program's file", [](std::string& b) { b[0] = 'X'; }, 0},
      {"an empty file", [](std::string& b) { b.clear(); }, 0},
      {"a byte of the second part changed", [](std::string& b) { b[b.size() - 3] ^= 0x40; }, 1},
      {"a length beyond the file", [](std::string& b) { b[kRecoveryHeader.size() + 3] = '\x7F'; },
       0},
      {"zero bytes and noise after the header",
       [](std::string& b) {
         b.resize(kRecoveryHeader.size());
         b += std::string(40, '\0') + "noise";
       },
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResultList list;
    std::string bytes(kRecoveryHeader);
    AppendNumbers(list, 3);
    bytes += EncodeRecordPart(false, Place(1, 3), list.Rows(), 0);
    AppendNumbers(list, 3);
    bytes += EncodeRecordPart(false, Place(1, 6), list.Rows(), 3);
    c.damage(bytes);
    const RecoveredRun read = DecodeRecord(bytes);
    EXPECT_EQ(read.parts, c.partsLeft);
    EXPECT_EQ(read.rows.size(), static_cast<std::size_t>(3 * c.partsLeft));
  }
}

TEST(RecoveryRecord, IsReadableByItsUserAloneAndKeptByOneProgram) {
  TempDir dir;
  const auto path = dir.Path() / kRecoveryFileName;
  dir.Write(kRecoveryFileName, "");
  ::chmod(path.c_str(), 0644);
  {
    LoneRecord first(path);
    EXPECT_TRUE(first.Held());
    EXPECT_EQ(std::filesystem::status(path).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    LoneRecord second(path);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(second.TakeFailure(), std::nullopt);  // not a failure: another holds it
    ResultList list;
    AppendNumbers(list, 2);
    second.Keep(list, Place(1, 2));  // does nothing
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
  }
  LoneRecord third(path);
  EXPECT_TRUE(third.Held());
  third.Remove();
  third.Flush();
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(RecoveryRecord, ARecordThatCannotBeOpenedIsAFailureToTell) {
  TempDir dir;
  LoneRecord record(dir.Path() / "missing-folder" / kRecoveryFileName);
  EXPECT_FALSE(record.Held());
  EXPECT_EQ(record.TakeFailure(), std::optional<std::string>("File not found"));
  EXPECT_EQ(record.TakeFailure(), std::nullopt);  // once
}

// A record as the first version wrote it, byte for byte: a Restart with two
// numbers, a part with a third, then the list emptied and a fourth.
constexpr std::string_view kFirstVersionRecord =
    "Kelvane recovery record 1\n"
    "\x3C\x00\x00\x00\x4B\x35\x71\xFC\x01\x01\x00\x00\x00\x02\x00\x00\x00\x01\x12\x00\x00\x00"
    "/home/u/\xB9\xD8\xBC\xFC\xD7\xD6.txt\x02\x00\x00\x00\x0B"
    "13800000001\x0B"
    "13800000002"
    "\x30\x00\x00\x00\x8B\x9B\x25\xF5\x00\x02\x00\x00\x00\x03\x00\x00\x00\x01\x12\x00\x00\x00"
    "/home/u/\xB9\xD8\xBC\xFC\xD7\xD6.txt\x01\x00\x00\x00\x0B"
    "15900000003"
    "\x30\x00\x00\x00\xC2\x9B\x5D\x8A\x01\x02\x00\x00\x00\x04\x00\x00\x00\x01\x12\x00\x00\x00"
    "/home/u/\xB9\xD8\xBC\xFC\xD7\xD6.txt\x01\x00\x00\x00\x0B"
    "13600000004"sv;

TEST(RecoveryRecord, AFirstVersionRecordReadsWithoutARunFileAndIsWrittenAsItWas) {
  const RunPlace last = {2, 4, "/home/u/\xB9\xD8\xBC\xFC\xD7\xD6.txt", true, ""};
  const RecoveredRun decoded = DecodeRecord(kFirstVersionRecord);
  EXPECT_EQ(decoded.parts, 3);
  EXPECT_EQ(decoded.rows, std::vector<std::string>{"13600000004"});
  EXPECT_EQ(decoded.place, last);

  // The program finds it at its path, holds it, and goes on in it.
  TempDir dir;
  const auto path = dir.Path() / kRecoveryFileName;
  dir.Write(kRecoveryFileName, kFirstVersionRecord);
  {
    LoneRecord record(path);
    ASSERT_TRUE(record.Held());
    EXPECT_EQ(record.Refusal(), std::nullopt);
    EXPECT_EQ(record.Read().rows, decoded.rows);
    EXPECT_EQ(record.Read().place, last);
  }

  // The same steps by this version, with no run file, write the same bytes.
  TempDir again;
  {
    LoneRecord record(again.Path() / kRecoveryFileName);
    ResultList list;
    list.Append("13800000001");
    list.Append("13800000002");
    RunPlace place = {1, 2, last.keywordFile, true, ""};
    record.Restart(list, place);
    list.Append("15900000003");
    place.resumePoint = 2;
    place.foundCount = 3;
    record.Keep(list, place);
    list.Clear();
    list.Append("13600000004");
    place.foundCount = 4;
    record.Keep(list, place);
  }
  EXPECT_EQ(again.Read(kRecoveryFileName), kFirstVersionRecord);
}

struct RunFileCase {
  const char* what;
  std::string runFile;
  std::uint64_t runFileLength;
  bool emptied;
};

TEST(RecoveryRecord, TheRunFileReadsBackAsItWasWritten) {
  const RunFileCase cases[] = {
      {"none", "", 0, false},
      {"a GBK path, in a part that empties the list", "/home/u/\xCA\xD6\xBB\xFA\xBA\xC5\\run 1.txt",
       13, true},  // "手机号"
      {"bytes a path may hold, NUL and 0xFF among them", std::string("a\0b\xFF\x01", 5),
       0xFFFF'FFFF'FFFF'FFFF, false},
      {"longer than a row may be", std::string(300, 'x'), 1ull << 32, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RunPlace place = Place(3, 2);
    place.runFile = c.runFile;
    place.runFileLength = c.runFileLength;
    ResultList list;
    AppendNumbers(list, 2);
    const std::string first = std::string(kRecoveryHeader) +
                              EncodeRecordPart(true, Place(1, 0), {}, 0) +
                              EncodeRecordPart(c.emptied, place, list.Rows(), 0);
    const RecoveredRun read = DecodeRecord(first);
    EXPECT_EQ(read.parts, 2);
    EXPECT_EQ(read.place, place);
    EXPECT_EQ(read.rows, list.Rows());
  }
}

TEST(RecoveryRecord, AnExactPlaceNamesOnlyWhatItsRunFileHasOnDiskAsEachPartIsWritten) {
  TempDir dir;
  const auto runPath = dir.Path() / "run.txt";
  LoneRecord record(dir.Path() / kRecoveryFileName);
  ASSERT_TRUE(record.Held());
  // The run's numbers file on the record's writer: two numbers on disk,
  // then one that cannot be written (its descriptor is read-only).
  const int fd = ::open(runPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
  WriterThread& writer = record.Writer();
  const auto runFile = writer.Open(::open(runPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  RunPlace place = Place(1, 2);
  place.exact = ExactPlace{2, 30, 8, "/kw/\xB9\xD8.txt", 12, 0xABCD, runPath, {}, {}};
  ResultList list;
  AppendNumbers(list, 2);
  writer.Append(runFile, "13800000001\r\n13800000002\r\n");
  record.Keep(list, place, runFile);
  ExactPlace expected = *place.exact;
  expected.runFileOnDisk.length = 26;
  expected.runFileOnDisk.crc = Crc32("13800000001\r\n13800000002\r\n");
  EXPECT_EQ(record.OnDisk().place.exact, expected);

  writer.Replace(runFile, [fd](int& out) {
    ::close(out);
    out = ::dup(fd);  // read-only from here on: the next write fails
    return 0;
  });
  writer.Append(runFile, "13800000003\r\n");
  AppendNumbers(list, 1);
  place.foundCount = 3;
  record.Keep(list, place, runFile);
  expected.runFileOnDisk.crc = 0;  // a replaced file is not known by its CRC
  expected.unwritten = "13800000003\r\n";
  EXPECT_EQ(record.OnDisk().place.exact, expected);
  ::close(fd);
}

}  // namespace
}  // namespace harvest
