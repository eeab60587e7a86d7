#include "session/run_log.h"

#include <QDateTime>

namespace session {
namespace {

int Seconds(std::int64_t milliseconds) {
  return static_cast<int>((milliseconds + 999) / 1000);
}

std::filesystem::path LogBeside(std::filesystem::path runFile) {
  return runFile.replace_extension(".log");
}

std::unique_ptr<harvest::DurableAppender> OpenLog(const std::filesystem::path& log, bool goOn,
                                                  harvest::WriterThread& writer) {
  if (goOn) {
    auto earlier = std::make_unique<harvest::DurableAppender>(log, writer, harvest::EarlierFile{});
    if (!earlier->Path().empty()) return earlier;
  }
  return std::make_unique<harvest::DurableAppender>(log, writer, harvest::NewFile{});
}

}  // namespace

RunLog::RunLog(const std::filesystem::path& runFile, bool goOn, harvest::WriterThread& writer)
    : file_(OpenLog(LogBeside(runFile), goOn, writer)) {}

void RunLog::Write(const QString& line) {
  const QString stamped =
      QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + line +
      QLatin1Char('\n');
  file_->Append(stamped.toUtf8().toStdString());
}

void RunLog::Started(int keywords, int firstKeyword) {
  Write(tr("开始搜索：共 %1 个关键字，从第 %2 个开始").arg(keywords).arg(firstKeyword));
}

void RunLog::WentOn(int keyword, int pageOffset, int found) {
  Write(tr("继续中断的搜索：第 %1 个关键字第 %2 条起，此前已找到号码 %3 个；以下各数只计继续之后")
            .arg(keyword)
            .arg(pageOffset)
            .arg(found));
}

void RunLog::Keyword(int number, const QString& keyword) {
  if (number == lastKeyword_) return;
  lastKeyword_ = number;
  Write(tr("关键字 %1：%2").arg(number).arg(keyword));
}

void RunLog::Event(const harvest::RunEvent& event, const QString& keyword) {
  if (const QString line = EventLine(event, keyword); !line.isEmpty()) Write(line);
}

void RunLog::Ended(const harvest::RunSummary& summary) {
  // Each page given up ended its keyword there: said, lest the count read
  // as no more than those pages lost.
  Write(tr("搜索结束：读取网页 %1 个，找到号码 %2 个，等待共 %3 秒，放弃网页 %4 个")
            .arg(summary.pagesRead)
            .arg(summary.found)
            .arg(Seconds(summary.heldMs))
            .arg(summary.pagesGivenUp) +
        (summary.pagesGivenUp > 0 ? tr("（%1 个关键字余下的网页未读取）").arg(summary.pagesGivenUp)
                                  : QString()));
}

QString RunLog::EventLine(const harvest::RunEvent& event, const QString& keyword) {
  // In one arg(): a keyword holding "%2" must stay as it is.
  const QString page =
      tr("关键字 %1「%2」第 %3 条起")
          .arg(QString::number(event.keywordNumber), keyword, QString::number(event.pageOffset));
  const QString stalled = event.hung ? tr("网页无响应") : tr("网页进程意外结束");
  switch (event.kind) {
    case harvest::RunEvent::Kind::kHolding: {
      QString why;
      switch (event.reason) {
        case harvest::HoldReason::kNetworkDown:
          why = tr("网络中断");
          break;
        case harvest::HoldReason::kRefused:
          why = tr("搜索引擎拒绝了请求（HTTP %1）").arg(event.httpStatus);
          break;
        case harvest::HoldReason::kElsewhere:
          why = tr("搜索引擎要求验证");
          break;
        case harvest::HoldReason::kNotLoaded:
          why = tr("网页载入超时");
          break;
        case harvest::HoldReason::kFilesUnwritable:
          why = tr("号码文件无法写入");
          break;
      }
      return tr("暂停：%1，%2，第 %3 次未取到，%4 秒后重试")
          .arg(page, why, QString::number(event.tries), QString::number(Seconds(event.waitMs)));
    }
    case harvest::RunEvent::Kind::kGoingOn:
      return tr("继续：%1，重试 %2 次后取到，共等待 %3 秒")
          .arg(page, QString::number(event.tries), QString::number(Seconds(event.waitMs)));
    case harvest::RunEvent::Kind::kRetrying:
      return tr("重试：%1，%2，用新的网页进程第 %3 次读取")
          .arg(page, stalled, QString::number(event.tries));
    case harvest::RunEvent::Kind::kWaitingForLoad:  // a slow page is no hold: not logged
      return {};
    case harvest::RunEvent::Kind::kGivenUp:
      // The run goes on with the next keyword: this page and the ones after
      // it are not read (how many the engine has is known only from each
      // page's pager, which was never read).
      return tr("放弃：%1，%2，已试 %3 次；本关键字第 %4 条起的网页均未读取，转到下一个关键字")
          .arg(page, stalled, QString::number(event.tries), QString::number(event.pageOffset));
  }
  return {};
}

}  // namespace session
