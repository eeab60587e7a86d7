// The recovery record as the disk may hold it after a crash: any bytes, with
// and without the record's header before them. Reading never fails, and what
// it reads, written afresh as one part, reads back the same (the run file
// too).

#include <cstdint>
#include <string>
#include <string_view>

#include "harvest/recovery_record.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

void Check(std::string_view bytes) {
  const harvest::RecoveredRun run = harvest::DecodeRecord(bytes);
  fuzz::Require(run.parts >= 0, "a count of parts");
  if (run.parts == 0) return;
  for (const std::string& row : run.rows)
    fuzz::Require(row.size() <= 255, "rows of at most 255 bytes");
  const std::string part = harvest::EncodeRecordPart(true, run.place, run.rows, 0);
  // Flags follow the length and the CRC; a place without a run file keeps
  // the first version's layout, which that version's program can still read.
  fuzz::Require(run.place.runFile.empty() == (static_cast<std::uint8_t>(part[8]) == 1),
                "a run file flagged exactly when there is one");
  const std::string again = std::string(harvest::kRecoveryHeader) + part;
  const harvest::RecoveredRun reread = harvest::DecodeRecord(again);
  fuzz::Require(reread.parts == 1, "a record written afresh is one part");
  fuzz::Require(reread.rows == run.rows, "the same rows");
  fuzz::Require(reread.place == run.place, "the same place");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Check(bytes);
  Check(std::string(harvest::kRecoveryHeader) + std::string(bytes));
  return 0;
}
