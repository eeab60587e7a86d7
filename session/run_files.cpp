#include "session/run_files.h"

#include <QDateTime>
#include <utility>

#include "platform/file_names.h"
#include "platform/gbk_codec.h"

namespace session {

RunFiles::RunFiles(harvest::FilePath runsDir, harvest::WriterThread& writer)
    : runsDir_(std::move(runsDir)), writer_(writer) {}

QString RunFiles::FileShown() const {
  return platform::FromGbk(fileText_);
}

std::uint64_t RunFiles::Length() const {
  // The bytes handed to the writer reach the disk before the record part
  // that names this length.
  return numbers_ ? numbers_->Length() : restoredLength_;
}

void RunFiles::Restore(const std::string& file, std::uint64_t length) {
  fileText_ = file;
  restoredLength_ = length;
  goOnRestored_ = !file.empty();
}

void RunFiles::Start(int keywords, int firstKeyword) {
  const bool goOn = std::exchange(goOnRestored_, false);
  bool wentOn = false;
  if (goOn) {
    // Only what the record counted: the run goes on from the record's place.
    numbers_ = std::make_unique<harvest::DurableAppender>(
        platform::ToFilePath(FileShown()).native, writer_, harvest::EarlierFile{restoredLength_});
    wentOn = !numbers_->Path().empty();  // else gone, or no longer the user's own
  }
  if (!wentOn) OpenNumbersFile();
  channels_[numbers_->Channel()] = {FileFailure::File::kRunFile, FileShown(), {}};
  log_ = std::make_unique<RunLog>(platform::ToFilePath(FileShown()).native, wentOn, writer_);
  channels_[log_->Channel()] = {
      FileFailure::File::kRunLog, QString::fromStdString(log_->Path().string()), {}};
  log_->Started(keywords, firstKeyword);
}

void RunFiles::OpenNumbersFile() {
  // Named by the run's start in local time; a second run in the same
  // second gets a name of its own beside it.
  const QString name = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HHmmss")) +
                       QStringLiteral(".txt");
  const harvest::FilePath wanted = runsDir_.Child(name.toStdString());
  numbers_ = std::make_unique<harvest::DurableAppender>(wanted.native, writer_, harvest::NewFile{});
  fileText_ =
      numbers_->Path().empty() ? wanted.text : runsDir_.text + numbers_->Path().filename().string();
}

void RunFiles::Append(const std::vector<std::string>& counted) {
  if (numbers_) numbers_->AppendLines(counted);
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
