#include "harvest/recovery_record.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "child_process.h"
#include "temp_dir.h"

namespace harvest {
namespace {

std::string Number(int i) {
  return std::to_string(13800000000LL + i);
}

void AppendNumbers(ResultList& list, int count) {
  static int next = 0;
  for (int i = 0; i < count; ++i) list.Append(Number(next++));
}

RunPlace Place(int resumePoint, int found) {
  return {resumePoint, found, "/home/u/\xB9\xD8\xBC\xFC\xD7\xD6.txt", true};  // "关键字.txt"
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
    RecoveryRecord record(path);
    ASSERT_TRUE(record.Held());
    record.Restart(list, place);
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
    EXPECT_LE(std::filesystem::file_size(path), grown);
    EXPECT_EQ(record.Read().rows, list.Rows());
    EXPECT_EQ(record.Read().parts, 1);
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
    RecoveryRecord first(path);
    EXPECT_TRUE(first.Held());
    EXPECT_EQ(std::filesystem::status(path).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    RecoveryRecord second(path);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(second.TakeFailure(), std::nullopt);  // not a failure: another holds it
    ResultList list;
    AppendNumbers(list, 2);
    second.Keep(list, Place(1, 2));  // does nothing
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
  }
  RecoveryRecord third(path);
  EXPECT_TRUE(third.Held());
  third.Remove();
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(RecoveryRecord, AFailedWriteIsToldOnceAndTheRecordIsKeptNoMore) {
  TempDir dir;
  const auto path = dir.Path() / kRecoveryFileName;
  // A full disk: the second part falls short of the file-size limit.
  const int status = RunWithFileSizeLimit(4096, [&] {
    RecoveryRecord record(path);
    ResultList list;
    AppendNumbers(list, 10);
    record.Restart(list, Place(1, 10));
    AppendNumbers(list, 2400);
    record.Keep(list, Place(1, 2410));
    record.Flush();
    if (record.TakeFailure() != std::optional<std::string>("Disk full")) return 1;
    if (record.TakeFailure()) return 2;  // told once
    const auto size = std::filesystem::file_size(path);
    AppendNumbers(list, 1);
    record.Keep(list, Place(2, 2411));
    record.Flush();
    if (std::filesystem::file_size(path) != size) return 3;  // kept no more
    if (record.Read().rows.size() != 10) return 4;           // the part cut short is not read
    return 0;
  });
  EXPECT_EQ(status, 0);
}

TEST(RecoveryRecord, ARecordThatCannotBeOpenedIsAFailureToTell) {
  TempDir dir;
  RecoveryRecord record(dir.Path() / "missing-folder" / kRecoveryFileName);
  EXPECT_FALSE(record.Held());
  EXPECT_EQ(record.TakeFailure(), std::optional<std::string>("File not found"));
  EXPECT_EQ(record.TakeFailure(), std::nullopt);  // once
}

}  // namespace
}  // namespace harvest
