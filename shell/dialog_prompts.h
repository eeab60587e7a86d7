#pragma once
// The session's questions and messages as the window asks and tells them:
// message boxes and the one-line input dialog over `parent`.

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include "shell/session_prompts.h"

namespace shell {

class DialogPrompts final : public SessionPrompts {
  Q_DECLARE_TR_FUNCTIONS(DialogPrompts)

 public:
  explicit DialogPrompts(QWidget* parent) : parent_(parent) {}

  std::optional<QString> AskResumePoint(int offered) override;
  void Tell(harvest::RunMessage message) override;
  RestoreAnswer AskToRestore(const harvest::RecoveredRun& found) override;
  void TellRecordKeptForLater() override;
  void TellRecordRefused(const QString& path, harvest::RefusalReason reason) override;
  void TellRecordShared() override;
  void TellRecordFailure(const QString& failure) override;
  void TellRunFileFailure(const QString& path, const QString& failure) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace shell
