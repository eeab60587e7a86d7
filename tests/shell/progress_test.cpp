// The resume point through the window: restored at creation into the
// settings bar, written by Save progress and by Finish.

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>
#include <filesystem>

#include "../harvest/gbk.h"
#include "shell_fixture.h"

namespace {

TEST_F(MainWindowTest, RestoreAppliesEachLineToItsControl) {
  const std::tuple<const char*, int, bool, int> cases[] = {
      // line 3, line 4 -> box, interval field (brought into 1..1000)
      {"qcyes", 5000, true, 1000}, {"qcno", 0, false, 1}, {"QCYES", -3, false, 1}, {"qcyes", 12, true, 12},
  };
  for (const auto& [line3, line4, ticked, interval] : cases) {
    SCOPED_TRACE(line4);
    dir_.Write("mobtrawl.ini", Gbk("D:\\资料\\kw.txt") + "\r\n-1\r\n" + line3 + "\r\n" + std::to_string(line4) + "\r\n");
    auto form = MakeWindow();
    EXPECT_EQ(Child<QLineEdit>(*form, "KeywordFileEdit")->text(), QStringLiteral("D:\\资料\\kw.txt"));
    EXPECT_EQ(form.Run().KeywordIndex(), -1);
    EXPECT_EQ(Child<QCheckBox>(*form, "DedupeBox")->isChecked(), ticked);
    EXPECT_EQ(Child<QSpinBox>(*form, "IntervalBox")->value(), interval);
    EXPECT_TRUE(form.Run().KeywordList().empty());  // the list is not reloaded
  }
}

TEST_F(MainWindowTest, SaveProgressAfterARestoreLowersTheIndexByOne) {
  dir_.Write("mobtrawl.ini", Gbk("D:\\资料\\kw.txt") + "\r\n5\r\nqcyes\r\n8\r\n");
  auto form = MakeWindow();
  auto saved = AnswerMessageBox();
  Child<QToolButton>(*form, "SaveProgressButton")->click();
  EXPECT_EQ(saved->title, QStringLiteral("『Kelvane』 V2.6"));
  EXPECT_EQ(saved->text, QStringLiteral("已经保存当前手机号码搜索进程！"));
  EXPECT_EQ(dir_.Read("mobtrawl.ini"), Gbk("D:\\资料\\kw.txt") + "\r\n4\r\nqcyes\r\n8\r\n");
}

TEST_F(MainWindowTest, SaveProgressWithoutFileOrRunWritesMinusOne) {
  auto form = MakeWindow();
  AnswerMessageBox();
  Child<QToolButton>(*form, "SaveProgressButton")->click();
  EXPECT_EQ(dir_.Read("mobtrawl.ini"), "\r\n-1\r\nqcno\r\n8\r\n");
}

TEST_F(MainWindowTest, AFailedSaveShowsTheErrorAndNoSuccess) {
  auto form = MakeWindow();
  std::filesystem::create_directory(dir_.Path() / "mobtrawl.ini");  // cannot be replaced by a file
  auto error = AnswerMessageBox();
  Child<QToolButton>(*form, "SaveProgressButton")->click();
  EXPECT_EQ(error->text, QStringLiteral("File access denied."));
  EXPECT_EQ(error->icon, QMessageBox::Critical);
  EXPECT_EQ(shell::PendingDialogAnswers(), 0);  // and no second box
}

TEST_F(MainWindowTest, AFailedWriteAtFinishIsToldOnceAndTheRunStillEnds) {
  for (const bool stoppedWhileHolding : {false, true}) {
    SCOPED_TRACE(stoppedWhileHolding ? "stopped while it holds" : "at its last page");
    auto form = MakeWindow();
    form.Run().KeywordList() = {"only"};
    AnswerInput(QStringLiteral("0"));
    Child<QToolButton>(*form, "SearchButton")->click();
    std::filesystem::create_directory(dir_.Path() / "mobtrawl.ini");
    auto error = AnswerMessageBox();
    if (stoppedWhileHolding) {
      browser_->loads = {{harvest::PageLoad::Ending::kNetworkFailed, 0, ""}};
      TickAndRead(form);
      ASSERT_EQ(form.Session().GetState(), harvest::RunState::kHolding);
      Child<QToolButton>(*form, "StopButton")->click();
    } else {
      TickAndRead(form);
    }
    EXPECT_EQ(error->text, QStringLiteral("File access denied."));
    EXPECT_EQ(shell::PendingDialogAnswers(), 0);  // and no second box
    EXPECT_TRUE(RunEndTold(form));
    EXPECT_TRUE(Child<QToolButton>(*form, "SearchButton")->isEnabled());
    EXPECT_TRUE(Child<QToolButton>(*form, "ImportButton")->isEnabled());
    EXPECT_FALSE(Child<QToolButton>(*form, "StopButton")->isEnabled());
    EXPECT_FALSE(form.Session().TimerRunning());
    EXPECT_EQ(form.Session().GetState(), harvest::RunState::kIdle);
    std::filesystem::remove(dir_.Path() / "mobtrawl.ini");
  }
}

TEST_F(MainWindowTest, ARunStoppedInItsThirdKeywordResumesThereAfterARestart) {
  const auto keywords = dir_.Write("kw.txt", "one\r\ntwo\r\nthree\r\nfour\r\n");
  {
    auto form = MakeWindow();
    AnswerFile(QString::fromStdString(keywords.text));
    Child<QToolButton>(*form, "ImportButton")->click();
    AnswerInput(QStringLiteral("0"));
    Child<QToolButton>(*form, "SearchButton")->click();
    TickAndRead(form);  // keyword 1 has one page
    TickAndRead(form);  // keyword 2 too; keyword 3 is requested
    EXPECT_EQ(Panel(*form, "KeywordNumber"), QStringLiteral("3"));
    Child<QToolButton>(*form, "StopButton")->click();
    TickAndRead(form);
    EXPECT_TRUE(RunEndTold(form));
  }
  EXPECT_EQ(dir_.Read("mobtrawl.ini"), keywords.text + "\r\n2\r\nqcno\r\n8\r\n");

  auto restarted = MakeWindow();
  AnswerFile(QString::fromStdString(keywords.text));
  Child<QToolButton>(*restarted, "ImportButton")->click();
  auto prompt = AnswerInput(QStringLiteral("2"));
  Child<QToolButton>(*restarted, "SearchButton")->click();
  EXPECT_EQ(prompt->title, QStringLiteral("搜索参数设置"));
  EXPECT_EQ(prompt->buttons, QStringList{QStringLiteral("请输入关键字搜索断点位置        ")});
  EXPECT_EQ(prompt->text, QStringLiteral("2"));
  EXPECT_EQ(browser_->navigated.back(), "http://search.test/s?word=three&pn=0&cl=3");
}

}  // namespace
