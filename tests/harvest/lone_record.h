#pragma once
// A recovery record with a writer thread of its own, for tests that keep a
// record alone (a program shares its writer with the run's files).

#include <filesystem>
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
  explicit LoneRecord(std::filesystem::path path) : RecoveryRecord(std::move(path), writer) {}
};

}  // namespace harvest
