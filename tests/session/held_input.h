#pragma once
// A merge held half-way: a named pipe among its inputs, where the merge
// waits until the test writes to it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

// A named pipe among the merge's inputs: the merge waits at it until the
// test lets it go on, at the latest when the pipe goes out of scope.
class HeldInput {
 public:
  explicit HeldInput(std::filesystem::path path) : path_(std::move(path)) {
    EXPECT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  }
  ~HeldInput() {
    if (!released_) Release("");
  }
  void Release(const std::string& bytes) {
    released_ = true;
    const int fd = ::open(path_.c_str(), O_WRONLY);  // meets the merge's open for reading
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
  }

 private:
  std::filesystem::path path_;
  bool released_ = false;
};
