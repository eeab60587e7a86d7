#pragma once
// The recovery record as the session keeps it: opened at start, kept after
// each step, flushed when the program ends at once, removed at an ordinary
// end. Its parts are written on the writer thread, whose failure handler
// tells the session when one fails (Channel() names the record's).

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "harvest/recovery_record.h"

namespace session {

class RecoveryKeeper {
 public:
  enum class Opening { kHeld, kShared, kFailed, kRefused };

  // The record's parts are written by `writer`.
  explicit RecoveryKeeper(harvest::WriterThread& writer) : writer_(writer) {}

  // Opens the record at `file`. A record another program holds, one that
  // cannot be opened (OpenFailure says why), or a file that is not trusted
  // as the record (Refusal says which and why) is not kept. A file of the
  // user's own that cannot be read was moved aside for a new record
  // (MovedAside says where).
  Opening Open(const std::filesystem::path& file);
  bool Held() const { return record_ != nullptr; }
  const std::optional<harvest::RecordRefusal>& Refusal() const { return refusal_; }
  const std::optional<harvest::DamagedRecord>& MovedAside() const { return movedAside_; }
  const std::optional<std::string>& OpenFailure() const { return openFailure_; }
  // What the record held when it was opened.
  harvest::RecoveredRun Read() const;
  // The writer's channel of the record kept; none when none is.
  std::optional<harvest::WriterThread::Channel> Channel() const;

  // Writes the record afresh, as of now; a record that failed is kept again
  // once this succeeds. `runFile`: the channel of the numbers file the
  // place's exact part names.
  void Restart(const harvest::ResultList& list, const harvest::RunPlace& place,
               std::optional<harvest::WriterThread::Channel> runFile);
  // Appends what changed since the last part.
  void Keep(const harvest::ResultList& list, const harvest::RunPlace& place,
            std::optional<harvest::WriterThread::Channel> runFile);
  // Whether the record kept has failed (and no Restart is on its way).
  bool Failed() const { return record_ && record_->Failed(); }
  void Flush();
  // Removes the record, unless the numbers file `unlessUnwritten` still has
  // numbers it could not take.
  void Remove(std::optional<harvest::WriterThread::Channel> unlessUnwritten = {});
  // Keeps no record from here on and leaves the file as it is (for the
  // next start to offer again).
  void Release() { record_.reset(); }

  // The record itself, none when not kept (for the benchmarks).
  const harvest::RecoveryRecord* Record() const { return record_.get(); }

 private:
  harvest::WriterThread& writer_;
  std::unique_ptr<harvest::RecoveryRecord> record_;
  std::optional<harvest::RecordRefusal> refusal_;
  std::optional<harvest::DamagedRecord> movedAside_;
  std::optional<std::string> openFailure_;
};

}  // namespace session
