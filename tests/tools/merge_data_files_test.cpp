#include "tools/merge_data_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "../harvest/child_process.h"
#include "../harvest/temp_dir.h"
#include "fake_collation.h"
#include "harvest/errors.h"

namespace tools {
namespace {

// The sanitizers reserve terabytes of address space for themselves.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizer = true;
#elif defined(__has_feature)
constexpr bool kSanitizer = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitizer = false;
#endif

// Runs `body` in a forked child and answers the text it returned, or how
// the child ended when it returned none.
std::string SaidInChild(const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return "no pipe";
  std::fflush(nullptr);  // or the child may write the parent's buffered output again
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const std::string said = body();
    const bool written =
        ::write(fds[1], said.data(), said.size()) == static_cast<ssize_t>(said.size());
    ::_exit(written ? 0 : 1);
  }
  ::close(fds[1]);
  std::string said;
  char buffer[256];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
    said.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
  if (WEXITSTATUS(status) != 0) return "exit status " + std::to_string(WEXITSTATUS(status));
  return said;
}

// Lets the process map `headroom` bytes more than it maps now.
void LimitAddressSpace(rlim_t headroom) {
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t bytes =
      static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + headroom;
  const rlimit limit{bytes, bytes};
  ::setrlimit(RLIMIT_AS, &limit);
}

// Makes the reads of `path`, open in this process, fail from now on (EISDIR)
// by putting a folder's descriptor in place of its own; answers whether it
// was open.
bool FailReadsOf(const std::filesystem::path& path) {
  const std::filesystem::path file = std::filesystem::canonical(path);
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code unreadable;  // the listing's own descriptor, gone by now
    if (std::filesystem::read_symlink(entry.path(), unreadable) != file) continue;
    const int folder = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool swapped = ::dup2(folder, std::stoi(entry.path().filename().string())) >= 0;
    ::close(folder);
    return swapped;
  }
  return false;
}

class MergeTest : public testing::Test {
 protected:
  // Merges the named files of the temp folder into "out.txt".
  std::int64_t Merge(const std::vector<std::string>& names, const std::string& output = "out.txt") {
    std::vector<harvest::FilePath> inputs;
    for (const auto& name : names) inputs.push_back(dir_.File(name));
    sortedCount_.reset();
    return MergeDataFiles(inputs, dir_.File(output), collation_, [this](std::int64_t n) { sortedCount_ = n; });
  }

  // Every file of the temp folder: its size, a hash of its content, its mode
  // and its inode (a replacement is another file, whatever it holds).
  std::map<std::string, std::tuple<std::size_t, std::size_t, mode_t, ino_t>> Folder() const {
    std::map<std::string, std::tuple<std::size_t, std::size_t, mode_t, ino_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      const std::string name = entry.path().filename().string();
      const std::string content = dir_.Read(name);
      struct stat info {};
      ::stat(entry.path().c_str(), &info);
      files[name] = {content.size(), std::hash<std::string>()(content), info.st_mode, info.st_ino};
    }
    return files;
  }

  TempDir dir_;
  AsciiNoCaseCollation collation_;
  std::optional<std::int64_t> sortedCount_;
};

TEST_F(MergeTest, JoinsSortsAndDropsRepeatsWithCrLfAfterEachLine) {
  dir_.Write("a.txt", "138\r\n150\r\n");
  dir_.Write("b.txt", "150\r\n139\r\n");
  EXPECT_EQ(Merge({"a.txt", "b.txt"}), 3);
  EXPECT_EQ(sortedCount_, 3);
  EXPECT_EQ(dir_.Read("out.txt"), "138\r\n139\r\n150\r\n");
}

TEST_F(MergeTest, FilesAreJoinedByteForByte) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"a\r\nb", "c\r\n", "a\r\nbc\r\n"},         // no break at the end joins the next file
      {"x\n", "\ry\n", "\r\nx\r\ny\r\n"},         // LF then CR: an extra empty line, first
      {"x\r", "\ny\n", "x\r\ny\r\n"},             // CR then LF: one break
      {"x\ny", "", "x\r\ny\r\n"},
      {"b\n\na\n", "", "\r\na\r\nb\r\n"},         // a blank line counts and sorts first
      {"q\rp", "o\nn", "n\r\npo\r\nq\r\n"},       // CR and LF ends become CR LF
  };
  for (const auto& [first, second, output] : cases) {
    SCOPED_TRACE(testing::PrintToString(first + "|" + second));
    dir_.Write("1.txt", first);
    dir_.Write("2.txt", second);
    Merge({"1.txt", "2.txt"});
    EXPECT_EQ(dir_.Read("out.txt"), output);
  }
}

TEST_F(MergeTest, EmptyFilesGiveAnEmptyOutput) {
  dir_.Write("out.txt", "previous content\r\n");
  dir_.Write("e1.txt", "");
  dir_.Write("e2.txt", "");
  EXPECT_EQ(Merge({"e1.txt", "e2.txt"}), 0);
  EXPECT_EQ(dir_.Read("out.txt"), "");
}

TEST_F(MergeTest, ZeroBytesAreOrdinaryBytesOfTheirLines) {
  using namespace std::string_literals;
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"b\r\n\0a\r\n"s, "z\r\n", "\0a\r\nb\r\nz\r\n"s},            // at the start of a line
      {"b\r\na\0c\r\n"s, "z\r\n", "a\0c\r\nb\r\nz\r\n"s},          // in the middle
      {"b\r\na\0\r\n"s, "z\r\n", "a\0\r\nb\r\nz\r\n"s},            // at the end
      {"a\0\r\nb"s, "c\r\n", "a\0\r\nbc\r\n"s},                    // the next file still joins
      {"\0\r\n\r\n"s, "\0\r\n"s, "\r\n\0\r\n"s},                   // only a zero byte, twice
      {"x\r\0\ny"s, "", "\0\r\nx\r\ny\r\n"s},                      // between CR and LF
      {"138\0\r"s, "\n138\r\n", "138\r\n138\0\r\n"s},              // not a digit line; CR | LF
      {"A\0b\r\na\0B\r\na\0\0b\r\n"s, "", "a\0\0b\r\nA\0b\r\n"s},  // case alone merges
  };
  for (const auto& [first, second, output] : cases) {
    SCOPED_TRACE(testing::PrintToString(first + "|" + second));
    dir_.Write("1.txt", first);
    dir_.Write("2.txt", second);
    EXPECT_EQ(Merge({"1.txt", "2.txt"}), std::count(output.begin(), output.end(), '\n'));
    EXPECT_EQ(dir_.Read("out.txt"), output);
  }
}

TEST_F(MergeTest, CaseVariantsLeaveTheFirstAndBlanksStayDistinct) {
  dir_.Write("1.txt", "Hello\r\nworld \r\n");
  dir_.Write("2.txt", "HELLO\r\nworld\r\nhello\r\n");
  Merge({"1.txt", "2.txt"});
  EXPECT_EQ(dir_.Read("out.txt"), "Hello\r\nworld\r\nworld \r\n");
}

TEST_F(MergeTest, LinesLongerThanTheOutputBufferComeOutWhole) {
  // The output is formatted through 1 MiB buffers: a line with its CR LF
  // filling one exactly, one byte over, and lines of megabytes, among short
  // lines and numbers; in memory and through runs on disk.
  constexpr std::size_t kOutputBuffer = 1 << 20;
  const std::vector<std::string> lines{std::string(kOutputBuffer - 2, 'b'),
                                       std::string(kOutputBuffer - 1, 'c'),
                                       std::string(kOutputBuffer + 10, 'd'),
                                       std::string(3 * kOutputBuffer, 'e') + "f",
                                       "13800000000",
                                       "a",
                                       "g",
                                       std::string(kOutputBuffer - 2, 'b') + "b"};
  std::string content;
  for (std::size_t i = 0; i < lines.size(); ++i) content += lines[i] + "\r\n";
  content += std::string(kOutputBuffer + 10, 'D') + "\r\n";  // a repeat by case
  dir_.Write("long.txt", content);
  std::vector<std::string> sorted = lines;
  std::sort(sorted.begin(), sorted.end());
  std::string expected;
  for (const auto& line : sorted) expected += line + "\r\n";
  for (const std::uint64_t budget : {std::uint64_t{0}, std::uint64_t{256 << 10}}) {
    MergeOptions options;
    if (budget != 0) options.memoryBudget = budget;
    EXPECT_EQ(MergeDataFiles({dir_.File("long.txt")}, dir_.File("out.txt"), collation_, options),
              static_cast<std::int64_t>(lines.size()));
    EXPECT_TRUE(dir_.Read("out.txt") == expected) << "budget " << budget;
  }
}

TEST_F(MergeTest, MergingIntoOneOfTheInputsKeepsItsOldContent) {
  dir_.Write("a.txt", "3\r\n1\r\n");
  dir_.Write("b.txt", "2\r\n1\r\n");
  EXPECT_EQ(Merge({"a.txt", "b.txt"}, "a.txt"), 3);
  EXPECT_EQ(dir_.Read("a.txt"), "1\r\n2\r\n3\r\n");
  EXPECT_EQ(dir_.Read("b.txt"), "2\r\n1\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}), 2);  // no temporary left
}

TEST_F(MergeTest, AnInputThatFailsLeavesTheOutputAsItWasAndNothingBesideIt) {
  // Twice a megabyte and a half, so that runs are on disk under the budget
  // before the failure, and a failure part-way comes after the first report.
  std::string big;
  for (long i = 0; big.size() < (3 << 19); ++i)
    big += std::to_string(13800000000 + i * 7) + (i % 3 ? "\r\n" : " word\r\n");
  dir_.Write("big.txt", big);
  dir_.Write("part.txt", big);
  dir_.Write("1.txt", "b\r\na\r\n");
  dir_.Write("out.txt", "previous\r\n");
  std::filesystem::permissions(dir_.Path() / "out.txt", std::filesystem::perms(0640));
  std::filesystem::permissions(dir_.Path() / "1.txt", std::filesystem::perms(0604));
  const TempDir elsewhere;

  struct Failure {
    const char* what;
    harvest::FilePath input;
    std::string said;
    bool partWay = false;  // its descriptor is swapped for a folder's after the first megabyte
  };
  const Failure failures[] = {
      {"missing", dir_.File("missing.txt"), "Cannot open file " + dir_.File("missing.txt").text},
      {"a folder", harvest::FilePath::Ascii(elsewhere.Path().string()),
       "Cannot open file " + elsewhere.Path().string()},
      {"unreadable from its first byte", harvest::FilePath::Ascii("/proc/self/mem"),
       "Stream read error"},
      {"a read error part-way", dir_.File("part.txt"), "Stream read error", true},
  };
  const char* const outputs[] = {"out.txt", "1.txt" /* one of the inputs */, "new.txt" /* missing */};
  for (const Failure& failure : failures) {
    for (std::size_t at = 0; at < 3; ++at) {
      for (const char* output : outputs) {
        for (const std::uint64_t budget : {std::uint64_t{0}, std::uint64_t{64 << 10}}) {
          SCOPED_TRACE(testing::Message() << failure.what << ", input " << at + 1 << " of 3, into "
                                          << output << ", budget " << budget);
          std::vector<harvest::FilePath> inputs{dir_.File("1.txt"), dir_.File("big.txt")};
          inputs.insert(inputs.begin() + static_cast<std::ptrdiff_t>(at), failure.input);
          bool swapped = false;
          MergeOptions options;
          options.memoryBudget = budget;
          options.temporary = RunFile::Temporary::Named;
          options.sorted = [&](std::int64_t n) { sortedCount_ = n; };
          options.progress = [&](const MergeProgress& progress) {
            if (failure.partWay && !swapped && progress.phase == MergePhase::kReading)
              swapped = FailReadsOf(failure.input.native);
          };
          sortedCount_.reset();
          const auto before = Folder();
          std::string said = "no error";
          try {
            MergeDataFiles(inputs, dir_.File(output), collation_, options);
          } catch (const harvest::Exception& e) {
            said = e.Message();
          }
          EXPECT_EQ(said, failure.said);
          EXPECT_EQ(swapped, failure.partWay);
          EXPECT_EQ(sortedCount_, std::nullopt);
          EXPECT_EQ(Folder(), before);  // the same bytes, modes and files; nothing new
        }
      }
    }
  }
}

TEST_F(MergeTest, AnOutputThatCannotBeCreatedReadsNothingAndChangesNothing) {
  dir_.Write("1.txt", "x\r\n");
  std::vector<harvest::FilePath> inputs{dir_.File("1.txt")};
  const harvest::FilePath output{dir_.Path() / "missing" / "out.txt", "missing/out.txt"};
  try {
    MergeDataFiles(inputs, output, collation_);
    ADD_FAILURE() << "no error";
  } catch (const harvest::FileCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file missing/out.txt");
  }
  EXPECT_EQ(collation_.keysMade, 0);
}

TEST_F(MergeTest, AFailedWriteLeavesThePreviousOutputWhole) {
  dir_.Write("out.txt", "previous\r\n");
  std::string many;
  for (int i = 0; i < 1000; ++i) many += std::to_string(13800000000LL + i) + "\r\n";
  dir_.Write("1.txt", many);
  const int status = RunWithFileSizeLimit(4096, [&] {
    try {
      Merge({"1.txt"});
      return 1;
    } catch (const harvest::StreamWriteError&) {
      return 0;
    }
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(dir_.Read("out.txt"), "previous\r\n");
}

TEST_F(MergeTest, FailuresOnEitherThreadArriveAsErrorsAndLeaveTheFolderAsItWas) {
  // Enough text lines for a second thread to compute half of the keys.
  std::string text;
  for (int i = 0; i < 30000; ++i) text += "line " + std::to_string(i) + "\r\n";
  dir_.Write("1.txt", text);
  // Distinct lines of 10 KB: 30 MB to hold.
  std::string big;
  for (int i = 0; i < 3000; ++i) big += std::to_string(i) + std::string(10000, 'x') + "\r\n";
  dir_.Write("big.txt", big);
  dir_.Write("out.txt", "previous\r\n");
  const auto before = Folder();

  using Side = FailingCollation::Side;
  auto failing = [](auto error, Side side) {
    return [error, side] {
      return std::make_unique<FailingCollation>(std::make_exception_ptr(error), side);
    };
  };
  struct Case {
    const char* what;
    const char* input;
    std::function<std::unique_ptr<LineCollation>()> collation;
    rlim_t headroom;  // an address-space limit this much above the start, or 0
    std::string said;
  };
  const Case cases[] = {
      {"the lines outgrow the address space", "big.txt",
       [] { return std::make_unique<AsciiNoCaseCollation>(); }, 24 << 20, "Out of memory"},
      {"the second thread runs out of memory", "1.txt", failing(std::bad_alloc(), Side::kCopy), 0,
       "Out of memory, raised on another thread"},
      {"the second thread's collation fails", "1.txt",
       failing(std::runtime_error("no collator"), Side::kCopy), 0,
       "no collator, raised on another thread"},
      {"this thread runs out of memory while the second works", "1.txt",
       failing(std::bad_alloc(), Side::kOriginal), 0, "Out of memory, raised on this thread"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.headroom != 0 && kSanitizer) {
      std::printf("skipped \"%s\": no address-space limit under a sanitizer\n", c.what);
      continue;
    }
    if (c.headroom == 0 && std::thread::hardware_concurrency() < 2) {
      std::printf("skipped \"%s\": one processor, one thread\n", c.what);
      continue;
    }
    const std::string said = SaidInChild([&]() -> std::string {
      const auto collation = c.collation();
      if (c.headroom != 0) LimitAddressSpace(c.headroom);
      std::string message;
      try {
        MergeDataFiles({dir_.File(c.input)}, dir_.File("out.txt"), *collation);
        return "no error";
      } catch (const harvest::Exception& e) {
        message = e.Message();
      } catch (const std::exception& e) {
        message = e.what();
      }
      if (const auto* f = dynamic_cast<const FailingCollation*>(collation.get())) {
        message += f->RaisedOn() == std::this_thread::get_id() ? ", raised on this thread"
                                                               : ", raised on another thread";
      }
      return message;
    });
    EXPECT_EQ(said, c.said);
    EXPECT_EQ(Folder(), before);
  }
}

}  // namespace
}  // namespace tools
