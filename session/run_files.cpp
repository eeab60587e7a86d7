#include "session/run_files.h"

#include <QDateTime>
#include <utility>

#include "platform/file_names.h"

namespace session {

RunFiles::RunFiles(std::filesystem::path runsDir, harvest::WriterThread& writer)
    : runsDir_(std::move(runsDir)), writer_(writer) {}

QString RunFiles::FileShown() const {
  return file_.empty() ? QString() : platform::ShownPath(file_);
}

void RunFiles::Restore(std::filesystem::path file, harvest::CountedFile counted,
                       std::string unwritten) {
  file_ = std::move(file);
  restoredCounted_ = counted;
  restoredUnwritten_ = std::move(unwritten);
}

RunFiles::Opened RunFiles::Start(bool goOn, int keywords, int firstKeyword) {
  // The last run's numbers that could not be written get one more try
  // before its file is let go.
  if (NumbersFailed() && !numbers_->Path().empty()) writer_.Retry(numbers_->Channel());
  Opened opened = Opened::kNew;
  if (goOn && restoredCounted_) {
    opened = OpenRestored();
  } else {
    OpenNumbersFile();
  }
  log_ = std::make_unique<RunLog>(file_, opened == Opened::kGoneOn, writer_);
  channels_[log_->Channel()] = {FileFailure::File::kRunLog, platform::ShownPath(log_->Path()), {}};
  log_->Started(keywords, firstKeyword);
  return opened;
}

RunFiles::Opened RunFiles::WriteRestoredNumbers() {
  return restoredCounted_ ? OpenRestored() : Opened::kNew;
}

RunFiles::Opened RunFiles::OpenRestored() {
  numbers_ = std::make_unique<harvest::DurableAppender>(file_, writer_,
                                                        harvest::EarlierFile{restoredCounted_});
  const Opened opened = numbers_->Path().empty() ? Opened::kRestoredReplaced : Opened::kGoneOn;
  if (opened == Opened::kRestoredReplaced)
    OpenNumbersFile();
  else
    RememberNumbers();
  // The numbers the restored run had counted but not written come first.
  numbers_->Append(std::exchange(restoredUnwritten_, {}));
  restoredCounted_.reset();
  return opened;
}

void RunFiles::OpenNumbersFile(const std::filesystem::path& wanted) {
  // Named by the run's start in local time; a second run in the same
  // second gets a name of its own beside it.
  std::filesystem::path name = wanted;
  if (name.empty()) {
    name = runsDir_ / (QDateTime::currentDateTime()
                           .toString(QStringLiteral("yyyy-MM-dd_HHmmss'.txt'"))
                           .toStdString());
  }
  numbers_ = std::make_unique<harvest::DurableAppender>(name, writer_, harvest::NewFile{});
  file_ = numbers_->Path().empty() ? name : numbers_->Path();
  RememberNumbers();
}

void RunFiles::RememberNumbers() {
  channels_[numbers_->Channel()] = {FileFailure::File::kRunFile, FileShown(), {}};
}

void RunFiles::Append(const std::vector<std::string>& counted) {
  if (numbers_) numbers_->AppendLines(counted);
}

std::optional<harvest::WriterThread::Channel> RunFiles::NumbersChannel() const {
  if (!numbers_) return std::nullopt;
  return numbers_->Channel();
}

harvest::FileIdentity RunFiles::NumbersIdentity() const {
  return numbers_ ? numbers_->Identity() : harvest::FileIdentity{};
}

bool RunFiles::NumbersFailed() const {
  return numbers_ && writer_.Failed(numbers_->Channel());
}

bool RunFiles::LogFailed() const {
  return log_ && writer_.Failed(log_->Channel());
}

int RunFiles::Unwritten() const {
  if (!numbers_) return 0;
  const std::string kept = numbers_->Disk().unwritten;
  int lines = 0;
  for (std::size_t at = 0; (at = kept.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  return lines;
}

void RunFiles::TryAgain() {
  if (NumbersFailed()) {
    if (numbers_->Path().empty()) {
      // Never made (no runs folder, say): made now, with what it kept.
      std::string kept = numbers_->Disk().unwritten;
      OpenNumbersFile(file_);
      numbers_->Append(std::move(kept));
    } else {
      writer_.Retry(numbers_->Channel());
    }
  }
  if (LogFailed()) writer_.Retry(log_->Channel());
}

std::optional<FileFailure> RunFiles::FailureOf(harvest::WriterThread::Channel channel,
                                               const QString& reason) const {
  const auto found = channels_.find(channel);
  if (found == channels_.end()) return std::nullopt;
  FileFailure failure = found->second;
  failure.reason = reason;
  return failure;
}

}  // namespace session
