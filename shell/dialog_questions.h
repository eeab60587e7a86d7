#pragma once
// The session's questions as the window asks them, and the words for what
// the session tells: message boxes and the one-line input dialog over
// `parent`. The restore question comes at start, before any run, and waits
// for its answer; the resume question and every message are opened without
// a loop of their own, so a run's timer goes on meanwhile.

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include "harvest/search_ports.h"
#include "session/session_questions.h"

namespace shell {

class DialogQuestions final : public session::SessionQuestions {
  Q_DECLARE_TR_FUNCTIONS(DialogQuestions)

 public:
  explicit DialogQuestions(QWidget* parent) : parent_(parent) {}

  RestoreAnswer AskToRestore(const harvest::RecoveredRun& found) override;
  void AskResumePoint(int offered, ResumeAnswer answer) override;

  // What the session tells, in a box opened over the window.
  void Tell(harvest::RunMessage message);
  void TellRecordNotKept(const session::RecordNotice& notice);
  void TellFileFailure(const session::FileFailure& failure);
  void TellContinueRefused(const QString& keywordFile);
  void TellRunFileReplaced(const QString& oldFile, const QString& newFile);
  void TellNumbersUnwritten(int count, bool inRecord, const QString& runFile);

 private:
  QPointer<QWidget> parent_;
};

}  // namespace shell
