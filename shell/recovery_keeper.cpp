#include "shell/recovery_keeper.h"

#include "platform/gbk_codec.h"

namespace shell {
namespace {

// How long after a part is handed over its write is surely done or failed.
constexpr int kFailureCheckMs = 1500;

}  // namespace

RecoveryKeeper::RecoveryKeeper(harvest::WriterThread& writer, QObject* parent)
    : QObject(parent), writer_(writer) {
  failureCheck_.setSingleShot(true);
  failureCheck_.setInterval(kFailureCheckMs);
  connect(&failureCheck_, &QTimer::timeout, this, &RecoveryKeeper::TellFailure);
}

RecoveryKeeper::Opening RecoveryKeeper::Open(const std::filesystem::path& file) {
  record_ = std::make_unique<harvest::RecoveryRecord>(file, writer_);
  if (record_->Held()) return Opening::kHeld;
  refusal_ = record_->Refusal();
  const auto failure = record_->TakeFailure();
  record_.reset();
  if (refusal_) return Opening::kRefused;
  if (!failure) return Opening::kShared;
  Q_EMIT Failed(platform::FromGbk(*failure));
  return Opening::kFailed;
}

harvest::RecoveredRun RecoveryKeeper::Read() const {
  return record_ ? record_->Read() : harvest::RecoveredRun{};
}

void RecoveryKeeper::Restart(const harvest::ResultList& list, const harvest::RunPlace& place) {
  if (!record_) return;
  record_->Restart(list, place);
  TellFailure();
}

void RecoveryKeeper::Keep(const harvest::ResultList& list, const harvest::RunPlace& place) {
  if (!record_) return;
  record_->Keep(list, place);
  TellFailure();
  failureCheck_.start();  // the write of this part is told about a moment later
}

void RecoveryKeeper::Release() {
  record_.reset();
}

void RecoveryKeeper::Flush() {
  if (record_) record_->Flush();
}

void RecoveryKeeper::Remove() {
  if (record_) record_->Remove();
}

void RecoveryKeeper::TellFailure() {
  if (!record_) return;
  if (const auto failure = record_->TakeFailure()) Q_EMIT Failed(platform::FromGbk(*failure));
}

}  // namespace shell
