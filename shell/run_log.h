#pragma once
// The run's log: a UTF-8 text file beside the run's numbers file, under the
// same name with ".log", appended as the run goes: its start and keywords,
// each hold and each page given up, and its end with the run's figures. It is
// written like the numbers file (by the writer thread, flushed per line, its
// user's alone) and never deleted; a failure is told once.

#include <QString>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "harvest/durable_appender.h"
#include "harvest/search_ports.h"

namespace shell {

class RunLog {
 public:
  // The log of the run whose numbers file is `runFile`, written by
  // `writer`; goes on with the log that is there when `goOn` (a restored run
  // resumed).
  RunLog(const std::filesystem::path& runFile, bool goOn, harvest::WriterThread& writer);

  const std::filesystem::path& Path() const { return file_->Path(); }

  void Started(int keywords, int firstKeyword);
  // Written when the keyword changes.
  void Keyword(int number, const QString& keyword);
  void Event(const harvest::RunEvent& event, const QString& keyword);
  void Ended(int pagesRead, int found, std::int64_t heldMs, int pagesGivenUp);

  // The first failure to make or write it, once.
  std::optional<std::string> TakeFailure() { return file_->TakeFailure(); }

 private:
  void Write(const QString& line);

  std::unique_ptr<harvest::DurableAppender> file_;
  int lastKeyword_ = 0;
};

}  // namespace shell
