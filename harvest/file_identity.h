#pragma once
// A file as the file system knows it, and what a record counted of one.

#include <cstdint>

namespace harvest {

// A file, whatever its name: a file replaced under the same name is another.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// What a record counted of a run's numbers file: which file, and its first
// `length` bytes by their CRC-32.
struct CountedFile {
  FileIdentity identity;
  std::uint64_t length = 0;
  std::uint32_t crc = 0;
  bool operator==(const CountedFile&) const = default;
};

}  // namespace harvest
