#pragma once
// What the search session asks the user and tells them in a box of its own.
// The window answers through dialogs; tests answer in advance.

#include <QString>
#include <optional>

#include "harvest/recovery_record.h"
#include "harvest/search_ports.h"

namespace shell {

class SessionPrompts {
 public:
  virtual ~SessionPrompts() = default;

  // The keyword to resume from, `offered` first; nothing when cancelled.
  virtual std::optional<QString> AskResumePoint(int offered) = 0;
  virtual void Tell(harvest::RunMessage message) = 0;

  // A record of a run that did not end normally: restore it, discard it, or
  // decide later (the question closed without an answer).
  enum class RestoreAnswer { kRestore, kDiscard, kLater };
  virtual RestoreAnswer AskToRestore(const harvest::RecoveredRun& found) = 0;
  // Asked later: this program keeps no record, the old one waits.
  virtual void TellRecordKeptForLater() = 0;
  // The file at the record's path is not one the program may use; it is
  // left as it is and no record is kept.
  virtual void TellRecordRefused(const QString& path, harvest::RefusalReason reason) = 0;
  // Another running program keeps the recovery record: this one keeps none.
  virtual void TellRecordShared() = 0;
  // The record cannot be written (`failure` is the file error's text); the
  // run goes on without it.
  virtual void TellRecordFailure(const QString& failure) = 0;
  // The run's own numbers file cannot be made or written; the run goes on.
  virtual void TellRunFileFailure(const QString& path, const QString& failure) = 0;
};

}  // namespace shell
