#pragma once
// The two questions the search session needs the user to answer, and what
// it tells of the files it keeps. The window answers through its dialogs;
// the session's tests answer in advance.

#include <QString>
#include <functional>
#include <optional>

#include "harvest/recovery_record.h"

namespace session {

class SessionQuestions {
 public:
  virtual ~SessionQuestions() = default;

  // At program start, before any run: a record of a run that did not end
  // normally is restored, discarded, or left for later (the question closed
  // without an answer).
  enum class RestoreAnswer { kRestore, kDiscard, kLater };
  virtual RestoreAnswer AskToRestore(const harvest::RecoveredRun& found) = 0;

  // The keyword to resume from, `offered` first. Asked and returns; `answer`
  // gets the text given, or nothing when cancelled, later on this thread
  // (the run's timer keeps going meanwhile) or at once.
  using ResumeAnswer = std::function<void(std::optional<QString>)>;
  virtual void AskResumePoint(int offered, ResumeAnswer answer) = 0;
};

// Why no recovery record is kept this time, or what was done to keep one.
struct RecordNotice {
  enum class Kind {
    kShared,        // another running program keeps it
    kRefused,       // the file at its path is not one the program may use; left as it is
    kKeptForLater,  // the restore question was closed: the old record waits for the next start
    kMovedAside,    // the user's file at its path could not be read: renamed, a new record kept
  };
  Kind kind = Kind::kShared;
  // kRefused, kMovedAside: the file, and why it is not used as it is.
  QString path;
  harvest::RefusalReason refusal = harvest::RefusalReason::kNotARecord;
  QString movedTo = {};  // kMovedAside: the file's new name
};

// A file the session keeps could not be made or written. The record is kept
// no more; a run goes on without the file.
struct FileFailure {
  enum class File { kRecord, kRunFile, kRunLog };
  File file = File::kRecord;
  QString path;
  QString reason;  // the file error's text ("Disk full"...)
};

}  // namespace session
