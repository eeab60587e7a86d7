#pragma once
// The run's log: a UTF-8 text file beside the run's numbers file, under the
// same name with ".log", appended as the run goes: its start and keywords,
// each hold and each page given up, and its end with the run's figures. It is
// written like the numbers file (by the writer thread, flushed per line, its
// user's alone) and never deleted; a failure is told by the writer's
// failure handler, on the log's channel.

#include <QCoreApplication>
#include <QString>
#include <filesystem>
#include <memory>

#include "harvest/durable_appender.h"
#include "harvest/search_ports.h"

namespace session {

class RunLog {
  Q_DECLARE_TR_FUNCTIONS(RunLog)

 public:
  // The log of the run whose numbers file is `runFile`, written by
  // `writer`; goes on with the log that is there when `goOn` (a restored run
  // resumed).
  RunLog(const std::filesystem::path& runFile, bool goOn, harvest::WriterThread& writer);

  const std::filesystem::path& Path() const { return file_->Path(); }
  harvest::WriterThread::Channel Channel() const { return file_->Channel(); }

  void Started(int keywords, int firstKeyword);
  // A run restored after a crash goes on: at keyword `keyword`'s page from
  // `pageOffset`, `found` numbers counted before.
  void WentOn(int keyword, int pageOffset, int found);
  // Written when the keyword changes.
  void Keyword(int number, const QString& keyword);
  void Event(const harvest::RunEvent& event, const QString& keyword);
  void Ended(const harvest::RunSummary& summary);

  // The event as a line of the log (without its time); empty for a wait for
  // a slow page, which the log does not keep.
  static QString EventLine(const harvest::RunEvent& event, const QString& keyword);

 private:
  void Write(const QString& line);

  std::unique_ptr<harvest::DurableAppender> file_;
  int lastKeyword_ = 0;
};

}  // namespace session
