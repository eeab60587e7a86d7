// The writer thread the run's files and the recovery record share: bytes
// reach each file in the order handed over, across files too; a file that
// fails stops alone and keeps what it is handed; a part built in its turn
// sees only what is on disk.

#include "harvest/writer_thread.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <mutex>
#include <utility>
#include <vector>

#include "child_process.h"
#include "harvest/crc32.h"
#include "temp_dir.h"

namespace harvest {
namespace {

int OpenForAppending(const std::filesystem::path& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
}

TEST(WriterThread, KeepsTheOrderInWhichBytesWereHandedOverAcrossFiles) {
  TempDir dir;
  const int fd = OpenForAppending(dir.Path() / "both.txt");
  ASSERT_GE(fd, 0);
  WriterThread writer;
  // Two channels on one file, each with a descriptor of its own.
  const auto numbers = writer.Open(fd);
  const auto record = writer.Open(::dup(fd));
  // Handed over faster than they are flushed: the thread takes them in
  // batches, and must not gather one file's bytes ahead of the other's.
  std::string expected;
  for (int step = 0; step < 200; ++step) {
    const std::string counted = "n" + std::to_string(step);
    const std::string part = "r" + std::to_string(step);
    writer.Append(numbers, counted);
    writer.Append(record, part);
    expected += counted + part;
  }
  writer.Flush();
  EXPECT_EQ(dir.Read("both.txt"), expected);
  EXPECT_EQ(writer.TakeFailure(numbers), std::nullopt);
}

TEST(WriterThread, AFileThatFailsStopsAloneKeepsWhatItIsHandedAndIsToldOncePerTry) {
  TempDir dir;
  // In a child with a file-size limit: writes fall short as on a full disk.
  const int status = RunWithFileSizeLimit(40, [&] {
    // The handler hears of a failure when it is met, before Flush returns;
    // and of each retry that fails again.
    std::vector<std::pair<WriterThread::Channel, std::string>> told;
    std::mutex toldMutex;
    WriterThread writer([&](WriterThread::Channel channel, const std::string& message) {
      const std::lock_guard lock(toldMutex);
      told.emplace_back(channel, message);
    });
    const auto failing = writer.Open(OpenForAppending(dir.Path() / "big.txt"));
    const auto going = writer.Open(OpenForAppending(dir.Path() / "small.txt"));
    // A part built in its turn sees what the failing file has on disk.
    std::string seen;
    writer.Append(failing, std::string(30, 'a'));
    writer.Append(going, "1");
    writer.Append(failing, std::string(30, 'b'));  // beyond the limit
    writer.AppendBuilt(going, [&](const WriterThread& w) {
      const auto disk = w.Disk(failing);
      seen = std::to_string(disk.length) + "+" + std::to_string(disk.unwritten.size());
      return std::string("2");
    });
    writer.Flush();
    if (told != decltype(told){{failing, "Disk full"}}) return 1;
    if (seen != "30+30") return 2;
    writer.Append(failing, "c");  // kept after the failure
    writer.Flush();
    if (writer.TakeFailure(failing) != std::optional<std::string>("Disk full")) return 3;
    if (writer.Disk(failing).unwritten != std::string(30, 'b') + "c") return 4;
    // Still no room: the retry fails and is told again.
    writer.Retry(failing);
    writer.Flush();
    if (told.size() != 2 || !writer.Failed(failing) || writer.Failed(going)) return 5;
    if (writer.Disk(failing).crc != Crc32(std::string(30, 'a'))) return 6;
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(dir.Read("small.txt"), "12");
  const std::string big = dir.Read("big.txt");
  EXPECT_EQ(big.substr(0, 30), std::string(30, 'a'));
  EXPECT_EQ(big.find('c'), std::string::npos);
}

}  // namespace
}  // namespace harvest
