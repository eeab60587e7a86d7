#pragma once
// A recovery record with a writer thread of its own, for tests that keep a
// record alone (a program shares its writer with the run's files).

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "harvest/recovery_record.h"
#include "harvest/writer_thread.h"

namespace harvest {

struct OwnWriter {
  WriterThread writer;
};

// The writer comes first and goes last: the record flushes through it.
class LoneRecord : private OwnWriter, public RecoveryRecord {
 public:
  explicit LoneRecord(std::filesystem::path path)
      : RecoveryRecord(path, writer), path_(std::move(path)) {}

  WriterThread& Writer() { return writer; }
  // What the file holds once everything handed over is written.
  RecoveredRun OnDisk() {
    Flush();
    std::ifstream in(path_, std::ios::binary);
    return DecodeRecord(std::string(std::istreambuf_iterator<char>(in), {}));
  }

 private:
  std::filesystem::path path_;
};

}  // namespace harvest
