#include "shell/run_event_text.h"

namespace shell {
namespace {

int Seconds(int milliseconds) {
  return (milliseconds + 999) / 1000;
}

}  // namespace

QString RunEventText::Holding(const harvest::RunEvent& event) {
  switch (event.reason) {
    case harvest::HoldReason::kNetworkDown:
      return tr("网络中断，%1秒后重试...").arg(Seconds(event.waitMs));
    case harvest::HoldReason::kRefused:
      return tr("搜索引擎拒绝了请求（HTTP %1），%2秒后重试...")
          .arg(event.httpStatus)
          .arg(Seconds(event.waitMs));
    case harvest::HoldReason::kFilesUnwritable:
      return tr("号码文件无法写入（磁盘已满或文件不可写），号码暂存在程序中，%1秒后重试...")
          .arg(Seconds(event.waitMs));
    case harvest::HoldReason::kElsewhere:
      // The page stays in the browser for the user to answer; the next try reads it.
      return tr("搜索引擎要求验证：请在右侧页面完成验证...");
    case harvest::HoldReason::kNotLoaded:
      return tr("网页载入超时，%1秒后重试...").arg(Seconds(event.waitMs));
  }
  return {};
}

QString RunEventText::WaitingForLoad() {
  return tr("网页尚未载入完成，等待中...");
}

}  // namespace shell
