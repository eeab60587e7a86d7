#include "shell/run_log.h"

#include <QCoreApplication>
#include <QDateTime>

#include "shell/run_event_text.h"

namespace shell {
namespace {

struct RunLogTexts {
  Q_DECLARE_TR_FUNCTIONS(RunLog)
};

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
  Write(
      RunLogTexts::tr("开始搜索：共 %1 个关键字，从第 %2 个开始").arg(keywords).arg(firstKeyword));
}

void RunLog::Keyword(int number, const QString& keyword) {
  if (number == lastKeyword_) return;
  lastKeyword_ = number;
  Write(RunLogTexts::tr("关键字 %1：%2").arg(number).arg(keyword));
}

void RunLog::Event(const harvest::RunEvent& event, const QString& keyword) {
  Write(RunEventText::LogLine(event, keyword));
}

void RunLog::Ended(int pagesRead, int found, std::int64_t heldMs, int pagesGivenUp) {
  Write(RunLogTexts::tr("搜索结束：读取网页 %1 个，找到号码 %2 个，等待共 %3 秒，放弃网页 %4 个")
            .arg(pagesRead)
            .arg(found)
            .arg((heldMs + 999) / 1000)
            .arg(pagesGivenUp));
}

}  // namespace shell
