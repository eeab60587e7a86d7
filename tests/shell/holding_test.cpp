// A run holding through pages that do not come, as the user sees it: the
// status line and the tray's hint say why, a hidden window gets one
// notification when a hold starts and one when the run goes on, and the
// run's log keeps it all.

#include <QDir>
#include <QFile>

#include "shell_fixture.h"

namespace {

using Ending = harvest::PageLoad::Ending;

class HoldingTest : public MainWindowTest {
 protected:
  // The run's log once its end is on disk (its own thread writes it).
  QString RunLogText() {
    const QString runs = QString::fromStdString((dir_.Path() / "runs").string());
    QString text;
    WaitFor([&] {
      const QStringList logs = QDir(runs).entryList({QStringLiteral("*.log")});
      QFile file(runs + QLatin1Char('/') + logs.value(0));
      text = logs.size() == 1 && file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll())
                                                                : QString();
      return text.contains(QStringLiteral("搜索结束"));
    });
    return text;
  }
};

TEST_F(HoldingTest, AHeldRunSaysWhyAndWhenItTriesAgainAndGoesOnWhenThePageComes) {
  auto form = MakeWindow();
  form.Run().KeywordList() = {"k"};
  AnswerInput(QStringLiteral("0"));
  form.Session().StartSearch();
  const std::string page = browser_->navigated.back();
  browser_->pages[page] = "15900000001";
  browser_->loads = {
      {Ending::kNetworkFailed, 0, ""}, {Ending::kLoaded, 503, page}, {Ending::kLoaded, 429, page}};
  HideInTray(*form);
  const auto tryAgain = [&] {
    form.Session().OnTick();  // the hold's wait is over: the page is asked again
    TickAndRead(form);
  };

  TickAndRead(form);
  const QString outage = QStringLiteral("网络中断，8秒后重试...");
  EXPECT_EQ(form.Session().GetState(), harvest::RunState::kHolding);
  EXPECT_EQ(Panel(*form, "StatusLine"), outage);
  EXPECT_EQ(tray_->toolTip, outage);
  ASSERT_EQ(tray_->messages.size(), 1u);
  EXPECT_EQ(tray_->messages[0].second, outage);

  tryAgain();  // the network is back, the engine refuses: another hold
  EXPECT_EQ(browser_->navigated, (std::vector<std::string>{page, page}));
  const QString refused = QStringLiteral("搜索引擎拒绝了请求（HTTP 503），8秒后重试...");
  EXPECT_EQ(tray_->toolTip, refused);
  ASSERT_EQ(tray_->messages.size(), 2u);
  EXPECT_EQ(tray_->messages[1].second, refused);

  tryAgain();  // still refusing: the same hold, a longer wait, no more notices
  const QString longer = QStringLiteral("搜索引擎拒绝了请求（HTTP 429），16秒后重试...");
  EXPECT_EQ(Panel(*form, "StatusLine"), longer);
  EXPECT_EQ(tray_->toolTip, longer);
  EXPECT_EQ(tray_->messages.size(), 2u);

  tryAgain();  // it comes, and it is the keyword's last page
  EXPECT_EQ(form.Session().FoundCount(), 1);
  EXPECT_TRUE(RunEndTold(form));
  EXPECT_EQ(tray_->toolTip, QStringLiteral("『Kelvane』 V2.6"));
  ASSERT_EQ(tray_->messages.size(), 4u);
  EXPECT_EQ(tray_->messages[2].second, QStringLiteral("已恢复连接，搜索继续进行。"));
  EXPECT_EQ(tray_->messages[3].second,
            QStringLiteral("搜索已经结束!\n共找到 1 个手机号码\n等待网络或搜索引擎共 32 秒\n%1")
                .arg(form.Session().RunFile()));

  const QString log = RunLogText();
  for (const QString& line :
       {QStringLiteral("开始搜索：共 1 个关键字，从第 1 个开始"), QStringLiteral("关键字 1：k"),
        QStringLiteral("暂停：关键字 1「k」第 0 条起，网络中断，第 1 次未取到，8 秒后重试"),
        QStringLiteral("暂停：关键字 1「k」第 0 条起，搜索引擎拒绝了请求（HTTP 503），第 1 "
                       "次未取到，8 秒后重试"),
        QStringLiteral("暂停：关键字 1「k」第 0 条起，搜索引擎拒绝了请求（HTTP 429），第 2 "
                       "次未取到，16 秒后重试"),
        QStringLiteral("继续：关键字 1「k」第 0 条起，重试 3 次后取到，共等待 32 秒"),
        QStringLiteral("搜索结束：读取网页 1 个，找到号码 1 个，等待共 32 秒，放弃网页 0 个")}) {
    EXPECT_TRUE(log.contains(line)) << line.toStdString() << "\nin\n" << log.toStdString();
  }
}

TEST_F(HoldingTest, APageThatKeepsHangingIsGivenUpWithoutABoxAndTheLogAndNotificationSaySo) {
  auto form = MakeWindow();
  form.Run().KeywordList() = {"k%2", "m"};  // a keyword with what looks like a placeholder
  AnswerInput(QStringLiteral("0"));
  form.Session().StartSearch();
  browser_->failRead = true;  // a hung page's read fails too, with an error no box shows
  browser_->loads = {{Ending::kHung, 0, ""}, {Ending::kHung, 0, ""}, {Ending::kProcessGone, 0, ""}};
  HideInTray(*form);
  for (int read = 0; read < 3; ++read) TickAndRead(form);
  browser_->failRead = false;
  browser_->pages[browser_->navigated.back()] = "15900000002";
  TickAndRead(form);  // "m"'s page

  EXPECT_EQ(browser_->navigated.size(), 4u);  // "k" three times, then "m"
  EXPECT_EQ(form.Session().FoundCount(), 1);
  WaitFor([&] { return !tray_->messages.empty(); });
  ASSERT_EQ(tray_->messages.size(), 1u);
  EXPECT_TRUE(tray_->messages[0].second.contains(QStringLiteral("\n放弃网页 1 个（见运行记录）\n")))
      << tray_->messages[0].second.toStdString();
  const QString log = RunLogText();
  EXPECT_TRUE(log.contains(
      QStringLiteral("重试：关键字 1「k%2」第 0 条起，网页无响应，用新的网页进程第 2 次读取")));
  // The rest of "k" is not read, and the log says so where it gives the page up and at the end.
  for (const QString& line :
       {QStringLiteral("放弃：关键字 1「k%2」第 0 条起，网页进程意外结束，已试 3 "
                       "次；本关键字第 0 条起的网页均未读取，转到下一个关键字"),
        QStringLiteral("关键字 2：m"),
        QStringLiteral("放弃网页 1 个（1 个关键字余下的网页未读取）")}) {
    EXPECT_TRUE(log.contains(line)) << line.toStdString() << "\nin\n" << log.toStdString();
  }
}

}  // namespace
