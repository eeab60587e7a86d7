// The writer thread the run's files and the recovery record share: bytes
// reach each file in the order handed over, across files too, and a file
// that fails stops alone.

#include "harvest/writer_thread.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <mutex>
#include <utility>
#include <vector>

#include "child_process.h"
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
  {
    WriterThread writer;
    const auto numbers = writer.Open();
    const auto record = writer.Open();
    // Handed over faster than they are flushed: the thread takes them in
    // batches, and must not gather one file's bytes ahead of the other's.
    std::string expected;
    for (int step = 0; step < 200; ++step) {
      const std::string counted = "n" + std::to_string(step);
      const std::string part = "r" + std::to_string(step);
      writer.Append(numbers, fd, counted);
      writer.Append(record, fd, part);
      expected += counted + part;
    }
    writer.Flush();
    EXPECT_EQ(dir.Read("both.txt"), expected);
    EXPECT_EQ(writer.TakeFailure(numbers), std::nullopt);
  }
  ::close(fd);
}

TEST(WriterThread, AFileThatFailsIsToldOnceAndStopsAloneWhileTheOthersGoOn) {
  TempDir dir;
  // In a child with a file-size limit: writes fall short as on a full disk.
  const int status = RunWithFileSizeLimit(40, [&] {
    const int big = OpenForAppending(dir.Path() / "big.txt");
    const int small = OpenForAppending(dir.Path() / "small.txt");
    // The handler hears of each file's first failure when it is met, before
    // Flush returns.
    std::vector<std::pair<WriterThread::Channel, std::string>> told;
    std::mutex toldMutex;
    WriterThread writer([&](WriterThread::Channel channel, const std::string& message) {
      const std::lock_guard lock(toldMutex);
      told.emplace_back(channel, message);
    });
    const auto failing = writer.Open();
    const auto going = writer.Open();
    writer.Append(failing, big, std::string(30, 'a'));
    writer.Append(going, small, "1");
    writer.Append(failing, big, std::string(30, 'b'));  // beyond the limit
    writer.Flush();
    if (told != decltype(told){{failing, "Disk full"}}) return 5;
    writer.Append(failing, big, "c");  // nothing after the failure
    writer.Append(going, small, "2");
    writer.Flush();
    if (writer.TakeFailure(failing) != std::optional<std::string>("Disk full")) return 1;
    if (writer.TakeFailure(failing) || !writer.Failed(failing)) return 2;  // told once, stays
    if (writer.TakeFailure(going) || writer.Failed(going)) return 3;
    // A failure met outside the thread stops the file as well.
    writer.Fail(going, ENOSPC);
    writer.Append(going, small, "3");
    writer.Flush();
    if (writer.TakeFailure(going) != std::optional<std::string>("Disk full")) return 4;
    if (told != decltype(told){{failing, "Disk full"}, {going, "Disk full"}}) return 6;
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
