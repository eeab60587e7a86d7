#pragma once
// The recovery record as the session keeps it: opened at start, kept after
// each step, flushed when the program ends at once, removed at an ordinary
// end. A write fails on the record's own thread; the failure is told once,
// through Failed, right after the step that met it or a moment later.

#include <QObject>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>

#include "harvest/recovery_record.h"

namespace shell {

class RecoveryKeeper final : public QObject {
  Q_OBJECT
 public:
  enum class Opening { kHeld, kShared, kFailed, kRefused };

  // The record's parts are written by `writer`.
  explicit RecoveryKeeper(harvest::WriterThread& writer, QObject* parent = nullptr);

  // Opens the record at `file`; a record another program holds, one that
  // cannot be opened (Failed tells why), or a file that is not trusted as
  // the record (Refusal says which and why) is not kept.
  Opening Open(const std::filesystem::path& file);
  bool Held() const { return record_ != nullptr; }
  // The file the last Open left untouched, if it did.
  const std::optional<harvest::RecordRefusal>& Refusal() const { return refusal_; }
  // What the record held when it was opened.
  harvest::RecoveredRun Read() const;

  // Writes the record afresh, as of now.
  void Restart(const harvest::ResultList& list, const harvest::RunPlace& place);
  // Appends what changed since the last part.
  void Keep(const harvest::ResultList& list, const harvest::RunPlace& place);
  void Flush();
  void Remove();
  // Keeps no record from here on and leaves the file as it is (for the
  // next start to offer again).
  void Release();

  // The record itself, none when not kept (for the benchmarks).
  const harvest::RecoveryRecord* Record() const { return record_.get(); }

 Q_SIGNALS:
  // The record cannot be written; it is kept no more.
  void Failed(const QString& failure);

 private:
  void TellFailure();

  harvest::WriterThread& writer_;
  std::unique_ptr<harvest::RecoveryRecord> record_;
  std::optional<harvest::RecordRefusal> refusal_;
  QTimer failureCheck_;  // a part's write is surely done or failed by then
};

}  // namespace shell
