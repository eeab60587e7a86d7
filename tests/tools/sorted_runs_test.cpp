// Content beyond the memory budget: sorted runs on disk give the same output
// as the merge in memory, and their temporary files never outlive the merge.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "../harvest/child_process.h"
#include "../harvest/temp_dir.h"
#include "fake_collation.h"
#include "tools/memory_budget.h"
#include "tools/merge_data_files.h"
#include "tools/sorted_lines.h"

namespace tools {
namespace {

using Lines = std::vector<std::string>;

// Content with every kind of line the merge tells apart: digit lines of
// every length (and too long to be numbers), letters in both cases, zero
// bytes, trailing blanks, empty lines and the odd long line, repeats
// among them, and every kind of line break.
std::string RandomContent(std::mt19937& rng, int lines) {
  Lines earlier;
  std::string content;
  const char* const breaks[] = {"\r\n", "\n", "\r"};
  for (int i = 0; i < lines; ++i) {
    std::string line;
    if (!earlier.empty() && rng() % 3 == 0) {
      line = earlier[rng() % earlier.size()];
      for (char& c : line) {
        if (c >= 'a' && c <= 'z' && rng() % 2) c = static_cast<char>(c - 32);
      }
    } else {
      switch (rng() % 6) {
        case 0:
        case 1:
          for (int n = static_cast<int>(rng() % 21); n > 0; --n)
            line += static_cast<char>('0' + rng() % 10);
          break;
        case 2:
          for (int n = static_cast<int>(rng() % 8); n > 0; --n) line += "abcXY0 \t"[rng() % 8];
          break;
        case 3:
          line = std::to_string(rng() % 1000) + (rng() % 2 ? " " : std::string(1, '\0')) + "z";
          break;
        case 4:
          line = "1" + std::string(rng() % 6, '0') + (rng() % 2 ? "" : "x");
          break;
        default:
          // Now and then longer than a run is read at a time.
          if (rng() % 20 == 0)
            line = std::string(100 + rng() % 9000, static_cast<char>('a' + rng() % 3));
          break;
      }
      earlier.push_back(line);
    }
    content += line;
    content += breaks[rng() % 3];
  }
  return content;
}

Lines Merged(const std::string& content, std::uint64_t budget, std::mt19937& rng,
             std::size_t* runs = nullptr, std::size_t arenaBytes = TextLines::kMaxOffset) {
  AsciiNoCaseCollation collation;
  SortedLines::Options options;
  options.memoryBudget = budget;
  options.textArenaBytes = arenaBytes;
  SortedLines sorted(collation, options);
  for (std::size_t at = 0; at < content.size();) {
    const std::size_t piece = 1 + rng() % 5000;
    sorted.Feed(std::string_view(content).substr(at, piece));
    at += piece;
  }
  Lines out;
  sorted.Emit([&out](std::string_view line) { out.emplace_back(line); });
  if (runs) *runs = sorted.RunsWritten();
  return out;
}

TEST(SortedRuns, GiveTheSameLinesAsTheMergeInMemory) {
  std::mt19937 rng(5);
  int roundsWithManyRuns = 0;
  for (int round = 0; round < 40; ++round) {
    const std::string content = RandomContent(rng, static_cast<int>(rng() % 3000));
    const std::uint64_t budget = 64u << (rng() % 10);  // 64 bytes to 32 KiB
    std::size_t runs = 0;
    const Lines expected = Merged(content, 0, rng);
    ASSERT_EQ(Merged(content, budget, rng, &runs), expected)
        << "round " << round << ", budget " << budget;
    // At these budgets a merge takes two runs at once: many runs, many passes.
    if (runs > 16) ++roundsWithManyRuns;
  }
  EXPECT_GT(roundsWithManyRuns, 20);
}

TEST(SortedRuns, AFullArenaGoesToDiskWhateverTheBudget) {
  // Other lines are addressed in 32 bits: a full arena is written as a run
  // even with no budget, and lines longer than the arena's room still go in.
  std::mt19937 rng(17);
  const std::string content = RandomContent(rng, 3000);
  const Lines expected = Merged(content, 0, rng);
  for (const std::size_t arenaBytes : {1, 100, 4096}) {
    std::size_t runs = 0;
    EXPECT_EQ(Merged(content, 0, rng, &runs, arenaBytes), expected) << arenaBytes;
    EXPECT_GT(runs, 3u) << arenaBytes;
  }
}

class RunFilesTest : public testing::Test {
 protected:
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
      names.insert(entry.path().filename());
    return names;
  }
  MergeOptions Tiny(RunFile::Temporary temporary) const {
    MergeOptions options;
    options.memoryBudget = 16 << 10;
    options.temporary = temporary;
    return options;
  }

  TempDir dir_;
  AsciiNoCaseCollation collation_;
};

TEST_F(RunFilesTest, AreGoneAfterSuccessFailureAndKill) {
  std::mt19937 rng(9);
  dir_.Write("in.txt", RandomContent(rng, 60000));
  const std::set<std::string> files{"in.txt", "out.txt"};
  for (const auto temporary : {RunFile::Temporary::Unnamed, RunFile::Temporary::Named}) {
    SCOPED_TRACE(temporary == RunFile::Temporary::Named ? "named" : "unnamed");
    dir_.Write("out.txt", "previous\r\n");

    // Success: the output as the merge in memory has it, nothing beside it.
    MergeDataFiles({dir_.File("in.txt")}, dir_.File("out.txt"), collation_, Tiny(temporary));
    const std::string merged = dir_.Read("out.txt");
    MergeDataFiles({dir_.File("in.txt")}, dir_.File("expected.txt"), collation_);
    EXPECT_EQ(merged, dir_.Read("expected.txt"));
    std::filesystem::remove(dir_.Path() / "expected.txt");
    EXPECT_EQ(Names(), files);

    // A write error on the runs (the disk full): the old output, nothing beside it.
    dir_.Write("out.txt", "previous\r\n");
    const int status = RunWithFileSizeLimit(256 << 10, [&] {
      try {
        MergeDataFiles({dir_.File("in.txt")}, dir_.File("out.txt"), collation_, Tiny(temporary));
        return 1;
      } catch (const harvest::StreamWriteError&) {
        return 0;
      }
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(dir_.Read("out.txt"), "previous\r\n");
    EXPECT_EQ(Names(), files);

    // Killed at any moment: the old output or the new one. A named file can
    // outlive a kill only between its creation and its removal a moment
    // later; the next merge to the same output removes it.
    for (int delay : {5, 20, 60, 150, 400}) {
      dir_.Write("out.txt", "previous\r\n");
      std::fflush(nullptr);
      const pid_t child = ::fork();
      if (child == 0) {
        MergeDataFiles({dir_.File("in.txt")}, dir_.File("out.txt"), collation_, Tiny(temporary));
        ::_exit(0);
      }
      ::usleep(static_cast<useconds_t>(delay * 1000));
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
      const std::string after = dir_.Read("out.txt");
      EXPECT_TRUE(after == "previous\r\n" || after == merged)
          << "torn output after " << delay << " ms";
      if (temporary == RunFile::Temporary::Named) {
        MergeDataFiles({dir_.File("in.txt")}, dir_.File("out.txt"), collation_);
      }
      EXPECT_EQ(Names(), files) << "after a kill at " << delay << " ms";
    }
  }
}

TEST(MemorySize, TakesBytesAndBinarySuffixes) {
  const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
      {"1", 1},
      {"4096", 4096},
      {"64K", 64 << 10},
      {"64k", 64 << 10},
      {"64M", 64 << 20},
      {"3G", std::uint64_t{3} << 30},
      {"16777215G", std::uint64_t{16777215} << 30},
      {"17179869184G", std::nullopt},  // 2^64
      {"18446744073709551615", ~std::uint64_t{0}},
      {"18446744073709551616", std::nullopt},
      {"0", std::nullopt},
      {"0M", std::nullopt},
      {"", std::nullopt},
      {"M", std::nullopt},
      {"-1", std::nullopt},
      {"+64M", std::nullopt},
      {"64MB", std::nullopt},
      {"6 4M", std::nullopt},
      {"1.5G", std::nullopt},
      {"64T", std::nullopt},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(ParseMemorySize(text), bytes) << text;
  EXPECT_GT(DefaultMemoryBudget(), 0u);
}

TEST_F(RunFilesTest, ProgressTellsThePhasesInOrderInBytesOfTheInputsNeverGoingBack) {
  std::mt19937 rng(3);
  const std::string content = RandomContent(rng, 40000);
  dir_.Write("a.txt", content);
  dir_.Write("b.txt", content);
  // Megabytes of numbers: many reports in every phase.
  std::string numbers;
  for (int i = 0; i < 300000; ++i)
    numbers += std::to_string(13000000000 + rng() % 1000000000) + "\r\n";
  dir_.Write("numbers.txt", numbers);
  const struct {
    std::vector<std::string> files;
    std::uint64_t budget;  // 0: in memory
  } cases[] = {{{"a.txt", "b.txt"}, 0},
               {{"a.txt", "b.txt"}, 8 << 10},
               {{"a.txt", "numbers.txt", "b.txt"}, 0},
               {{"a.txt", "numbers.txt", "b.txt"}, 512 << 10}};
  for (const auto& [files, budget] : cases) {
    SCOPED_TRACE(testing::PrintToString(files) + " " + std::to_string(budget));
    std::vector<harvest::FilePath> inputs;
    std::uint64_t total = 0;
    for (const auto& file : files) {
      inputs.push_back(dir_.File(file));
      total += dir_.Read(file).size();
    }
    std::vector<MergeProgress> heard;
    MergeOptions options;
    if (budget != 0) options.memoryBudget = budget;
    options.progress = [&heard](const MergeProgress& p) { heard.push_back(p); };
    MergeDataFiles(inputs, dir_.File("out.txt"), collation_, options);
    ASSERT_FALSE(heard.empty());
    std::vector<MergePhase> phases;
    std::map<MergePhase, int> reports;
    for (std::size_t i = 0; i < heard.size(); ++i) {
      const MergeProgress& p = heard[i];
      EXPECT_EQ(p.total, total);
      EXPECT_LE(p.done, p.total);
      if (i > 0 && heard[i - 1].phase == p.phase) {
        EXPECT_GE(p.done, heard[i - 1].done) << i;
      }
      if (phases.empty() || phases.back() != p.phase) phases.push_back(p.phase);
      ++reports[p.phase];
    }
    const std::vector<MergePhase> inMemory{MergePhase::kReading, MergePhase::kSorting,
                                           MergePhase::kWriting};
    const std::vector<MergePhase> inRuns{MergePhase::kReading, MergePhase::kMerging,
                                         MergePhase::kWriting};
    EXPECT_EQ(phases, budget == 0 ? inMemory : inRuns);
    EXPECT_EQ(heard.back().done, total);
    if (files.size() == 3) {
      EXPECT_GT(reports[MergePhase::kWriting], 4);
    }
  }
}

}  // namespace
}  // namespace tools
