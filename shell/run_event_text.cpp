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
    case harvest::HoldReason::kElsewhere:
      // The page stays in the browser for the user to answer; the next try reads it.
      return tr("搜索引擎要求验证：请在右侧页面完成验证...");
  }
  return {};
}

QString RunEventText::LogLine(const harvest::RunEvent& event, const QString& keyword) {
  // In one arg(): a keyword holding "%2" must stay as it is.
  const QString page =
      tr("关键字 %1「%2」第 %3 条起")
          .arg(QString::number(event.keywordNumber), keyword, QString::number(event.pageOffset));
  const QString stalled = event.hung ? tr("网页无响应") : tr("网页进程意外结束");
  switch (event.kind) {
    case harvest::RunEvent::Kind::kHolding: {
      const QString why = event.reason == harvest::HoldReason::kNetworkDown ? tr("网络中断")
                          : event.reason == harvest::HoldReason::kRefused
                              ? tr("搜索引擎拒绝了请求（HTTP %1）").arg(event.httpStatus)
                              : tr("搜索引擎要求验证");
      return tr("暂停：%1，%2，第 %3 次未取到，%4 秒后重试")
          .arg(page, why, QString::number(event.tries), QString::number(Seconds(event.waitMs)));
    }
    case harvest::RunEvent::Kind::kGoingOn:
      return tr("继续：%1，重试 %2 次后取到，共等待 %3 秒")
          .arg(page, QString::number(event.tries), QString::number(Seconds(event.waitMs)));
    case harvest::RunEvent::Kind::kRetrying:
      return tr("重试：%1，%2，用新的网页进程第 %3 次读取")
          .arg(page, stalled, QString::number(event.tries));
    case harvest::RunEvent::Kind::kGivenUp:
      return tr("放弃：%1，%2，已试 %3 次；转到下一个关键字")
          .arg(page, stalled, QString::number(event.tries));
  }
  return {};
}

}  // namespace shell
