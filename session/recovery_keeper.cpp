#include "session/recovery_keeper.h"

namespace session {

RecoveryKeeper::Opening RecoveryKeeper::Open(const std::filesystem::path& file) {
  record_ = std::make_unique<harvest::RecoveryRecord>(file, writer_);
  movedAside_ = record_->MovedAside();
  if (record_->Held()) return Opening::kHeld;
  refusal_ = record_->Refusal();
  openFailure_ = record_->TakeFailure();
  record_.reset();
  if (refusal_) return Opening::kRefused;
  return openFailure_ ? Opening::kFailed : Opening::kShared;
}

harvest::RecoveredRun RecoveryKeeper::Read() const {
  return record_ ? record_->Read() : harvest::RecoveredRun{};
}

std::optional<harvest::WriterThread::Channel> RecoveryKeeper::Channel() const {
  if (!record_) return std::nullopt;
  return record_->Channel();
}

void RecoveryKeeper::Restart(const harvest::ResultList& list, const harvest::RunPlace& place,
                             std::optional<harvest::WriterThread::Channel> runFile) {
  if (record_) record_->Restart(list, place, runFile);
}

void RecoveryKeeper::Keep(const harvest::ResultList& list, const harvest::RunPlace& place,
                          std::optional<harvest::WriterThread::Channel> runFile) {
  if (record_) record_->Keep(list, place, runFile);
}

void RecoveryKeeper::Flush() {
  if (record_) record_->Flush();
}

void RecoveryKeeper::Remove(std::optional<harvest::WriterThread::Channel> unlessUnwritten) {
  if (record_) record_->Remove(unlessUnwritten);
}

}  // namespace session
