#pragma once
// What the search session asks the user and tells them in a box of its own.
// The window answers through dialogs; tests answer in advance.

#include <QString>
#include <optional>

#include "harvest/search_ports.h"

namespace shell {

class SessionPrompts {
 public:
  virtual ~SessionPrompts() = default;

  // The keyword to resume from, `offered` first; nothing when cancelled.
  virtual std::optional<QString> AskResumePoint(int offered) = 0;
  virtual void Tell(harvest::RunMessage message) = 0;

  // A record of a run that did not end normally holds `numbers`: restore it?
  virtual bool AskToRestore(int numbers) = 0;
  // Another running program keeps the recovery record: this one keeps none.
  virtual void TellRecordShared() = 0;
  // The record cannot be written (`failure` is the file error's text); the
  // run goes on without it.
  virtual void TellRecordFailure(const QString& failure) = 0;
};

}  // namespace shell
