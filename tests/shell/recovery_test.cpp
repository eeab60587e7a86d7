// The recovery record through the window: offered back at start, kept as
// the run goes, removed at an ordinary end, told about once when it cannot
// be written; and a real program killed in the middle of a run, whose record
// the next start restores.

#include <signal.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTreeView>
#include <filesystem>

#include "../harvest/gbk.h"
#include "../harvest/lone_record.h"
#include "../session/file_size_limit.h"
#include "qt_test_helpers.h"
#include "shell_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class RecoveryTest : public MainWindowTest {
 protected:
  RecoveryTest() { keepRecoveryRecord_ = true; }

  fs::path RecordPath() const { return dir_.Path() / harvest::kRecoveryFileName; }

  // A run of three keywords through a form that then goes without its
  // close question, as a killed program does: `pages` pages, the list as it
  // stood, and the place.
  struct Ended {
    std::vector<std::string> rows;
    int found = 0;
    int resumePoint = 0;
    QString keywordFile;
  };
  Ended RunAndVanish(int pages) {
    auto form = MakeWindow();
    const auto keywords = dir_.Write("kw.txt", "one\r\ntwo\r\nthree\r\n");
    AnswerFile(QString::fromStdString(keywords.text));
    Child<QAbstractButton>(*form, "ImportButton")->click();
    Child<QCheckBox>(*form, "DedupeBox")->setChecked(true);
    AnswerInput(QStringLiteral("0"));
    form.Session().StartSearch();
    for (int page = 0; page < pages; ++page) {
      const std::string& url = browser_->navigated.back();
      // "one" ends after its first page; the others go on.
      browser_->pages[url] =
          "13" + std::to_string(700000000 + page) + " 15" + std::to_string(800000000 + page) +
          (url.find("word=one") == std::string::npos ? "\r\n1 2 " + Gbk("下一页>") : "");
      TickAndRead(form);
    }
    Ended ended{form.Results().Rows(), form.Run().FoundCount(), form.Run().ResumePoint(),
                Child<QLineEdit>(*form, "KeywordFileEdit")->text()};
    form.reset();
    return ended;
  }
};

TEST_F(RecoveryTest, ARecordOfThePlaceAloneNamesTheKeywordFileAsItIs) {
  {
    harvest::LoneRecord record(RecordPath());
    record.Restart(harvest::ResultList(), {5, 0, Gbk("D:\\关键%2字.txt"), false, ""});
  }
  auto question = AnswerMessageBox(QStringLiteral("否[&N]"));
  auto form = MakeWindow();
  EXPECT_EQ(question->text, QStringLiteral("上次的搜索没有正常结束。是否恢复当时的搜索断点（搜索文"
                                           "件：D:\\关键%2字.txt，断点位置：5）？"));
}

struct RestoreCase {
  const char* what;
  const char* answer;
  bool restored;
};

TEST_F(RecoveryTest, AStartAfterARunThatDidNotEndOffersItsNumbersBack) {
  const RestoreCase cases[] = {{"answered yes", "是[&Y]", true}, {"answered no", "否[&N]", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(RecordPath());
    const Ended ended = RunAndVanish(5);
    ASSERT_EQ(ended.rows.size(), 10u);
    EXPECT_EQ(ended.resumePoint, 1);  // "two" was being searched

    auto question = AnswerMessageBox(QString::fromUtf8(c.answer));
    auto form = MakeWindow();
    EXPECT_EQ(question->title, QStringLiteral("确认"));
    EXPECT_EQ(question->text,
              QStringLiteral("上次的搜索没有正常结束。是否恢复当时找到的10个手机号码？"));
    EXPECT_EQ(question->buttons, (QStringList{QStringLiteral("是[&Y]"), QStringLiteral("否[&N]")}));
    const auto* view = Child<QTreeView>(*form, "ResultList");
    if (c.restored) {
      EXPECT_EQ(form.Results().Rows(), ended.rows);
      ASSERT_EQ(view->model()->rowCount(), 10);
      EXPECT_EQ(view->model()->index(9, 0).data().toString().toStdString(), ended.rows.back());
      EXPECT_EQ(Panel(*form, "FoundCount"), QString::number(ended.found));
      EXPECT_EQ(Child<QLineEdit>(*form, "KeywordFileEdit")->text(), ended.keywordFile);
      EXPECT_TRUE(Child<QCheckBox>(*form, "DedupeBox")->isChecked());
      EXPECT_TRUE(form.Run().KeywordList().empty());  // imported again by the user
    } else {
      EXPECT_EQ(form.Results().Count(), 0);
      EXPECT_EQ(view->model()->rowCount(), 0);
    }
    auto* search = Child<QAbstractButton>(*form, "SearchButton");
    if (c.restored) {
      // One press goes on where the run stood: no question, no import, the
      // same file, the count going on.
      EXPECT_EQ(search->text(), QStringLiteral("继续"));
      const QString file = form.Session().RunFile();
      search->click();
      EXPECT_EQ(form.Session().GetState(), harvest::RunState::kStarting);
      EXPECT_EQ(form.Session().RunFile(), file);
      EXPECT_EQ(Panel(*form, "FoundCount"), QString::number(ended.found));
      EXPECT_EQ(Panel(*form, "KeywordCount"), QStringLiteral("3"));
      EXPECT_EQ(search->text(), QStringLiteral("搜索"));
    } else {
      // Searching asks, offering the first keyword.
      auto prompt = AnswerInput(QString());
      form.Run().KeywordList() = {"one", "two", "three"};
      search->click();
      EXPECT_EQ(prompt->text, QStringLiteral("0"));
    }

    // Dying again before any run: the next start offers the same once more.
    form.reset();
    if (c.restored) {
      auto again = AnswerMessageBox(QStringLiteral("否[&N]"));
      MakeWindow();
      EXPECT_EQ(again->text, question->text);
    } else {
      MakeWindow();  // nothing to offer: no question
    }
  }
}

TEST_F(RecoveryTest, AnOrdinaryExitLeavesNothingAndARestoredListGoesOnWithTheNextRun) {
  const Ended ended = RunAndVanish(3);
  AnswerMessageBox(QStringLiteral("是[&Y]"));
  auto form = MakeWindow();
  ASSERT_EQ(form.Results().Rows(), ended.rows);

  // A new run after the restore (another list imported) starts from an
  // emptied list, in the same record.
  AnswerFile(QString::fromStdString(dir_.Write("again.txt", "again\r\n").text));
  Child<QAbstractButton>(*form, "ImportButton")->click();
  AnswerInput(QStringLiteral("0"));
  form.Session().StartSearch();
  browser_->pages[browser_->navigated.back()] = "13600000001";
  TickAndRead(form);
  session::SessionProbe::Recovery(form.Session()).Flush();
  EXPECT_EQ(harvest::DecodeRecord(dir_.Read(harvest::kRecoveryFileName)).rows,
            std::vector<std::string>{"13600000001"});

  AnswerMessageBox(QStringLiteral("是[&Y]"));
  EXPECT_TRUE(form->close());
  form.reset();  // its writer gone: the record's removal done
  EXPECT_FALSE(fs::exists(RecordPath()));
  auto next = MakeWindow();  // no question
  EXPECT_EQ(next.Results().Count(), 0);
}

TEST_F(RecoveryTest, OnlyOneProgramKeepsTheRecordAndTheOtherSaysSo) {
  auto first = MakeWindow();
  auto told = AnswerMessageBox();
  auto second = MakeWindow();
  EXPECT_EQ(told->text,
            QStringLiteral("另一个正在运行的Kelvane在使用恢复记录，本程序这次不保存恢复记录。"));
  EXPECT_TRUE(session::SessionProbe::Recovery(first.Session()).Held());
  EXPECT_FALSE(session::SessionProbe::Recovery(second.Session()).Held());
  // The second one's run keeps nothing and asks nothing more.
  second.Run().KeywordList() = {"k"};
  AnswerInput(QStringLiteral("0"));
  second.Session().StartSearch();
  browser_->pages[browser_->navigated.back()] = "13600000001";
  TickAndRead(second);
  EXPECT_EQ(harvest::DecodeRecord(dir_.Read(harvest::kRecoveryFileName)).rows.size(), 0u);
}

TEST_F(RecoveryTest, ARecordThatCannotBeWrittenIsToldOnceAndAFullDiskHoldsTheRun) {
  // At start: the record's name is taken by a folder, which is left alone.
  fs::create_directory(RecordPath());
  auto atStart = AnswerMessageBox();
  auto form = MakeWindow();
  EXPECT_EQ(atStart->text,
            QStringLiteral(
                "无法使用恢复记录%1：它不是普通文件。本程序不改动这个文件，这次也不保存恢复记录。")
                .arg(QString::fromStdString(RecordPath().string())));
  EXPECT_TRUE(fs::is_directory(RecordPath()));
  EXPECT_FALSE(session::SessionProbe::Recovery(form.Session()).Held());
  form.reset();
  fs::remove(RecordPath());

  // In the middle of a run: the disk fills up. The record's failure is told
  // once in a box; the numbers file holds the run, its status line says so.
  form = MakeWindow();
  form.Run().KeywordList() = {"k"};
  AnswerInput(QStringLiteral("0"));
  form.Session().StartSearch();
  std::string page;
  // Three numbers a line: the scanner finds at most three on one.
  for (int i = 0; i < 2400; ++i)
    page += std::to_string(15900000000LL + i) + (i % 3 == 2 ? "\r\n" : " ");
  page += "\r\n1 2 " + Gbk("下一页>");
  auto told = AnswerMessageBox();
  session::SessionProbe::Recovery(form.Session()).Flush();
  {
    const FileSizeLimit full(fs::file_size(RecordPath()) + 100);
    browser_->pages[browser_->navigated.back()] = page;
    TickAndRead(form);
    EXPECT_TRUE(WaitFor([&] { return form.Session().GetState() == harvest::RunState::kHolding; }));
    EXPECT_TRUE(Panel(*form, "StatusLine").startsWith(QStringLiteral("号码文件无法写入")))
        << Panel(*form, "StatusLine").toStdString();
    form.Session().OnTick();  // tried again: still full
    EXPECT_TRUE(WaitFor([] { return shell::PendingDialogAnswers() == 0; }));
  }
  EXPECT_EQ(told->text,
            QStringLiteral("无法保存恢复记录（Disk full）。搜索继续进行，但不再保存恢复记录。"));
  const int foundByOnePage = form.Session().FoundCount();
  EXPECT_GT(foundByOnePage, 2000);
  form.Session().OnTick();  // room again: written, and the run goes on
  EXPECT_TRUE(WaitFor([&] { return form.Session().GetState() == harvest::RunState::kSearching; }));
  browser_->pages[browser_->navigated.back()] = page;
  TickAndRead(form);
  EXPECT_EQ(form.Session().FoundCount(), 2 * foundByOnePage);
  // Every number once in the file, none lost or cut while the disk was full.
  form.reset();
  std::size_t lines = 0;
  for (const auto& entry : fs::directory_iterator(dir_.Path() / "runs")) {
    if (entry.path().extension() != ".txt") continue;
    const std::string bytes = dir_.Read("runs/" + entry.path().filename().string());
    EXPECT_EQ(bytes.size() % 13, 0u);
    lines += bytes.size() / 13;
  }
  EXPECT_EQ(lines, static_cast<std::size_t>(2 * foundByOnePage));
}

TEST_F(RecoveryTest, ARecordOfRandomBytesIsMovedAsideToldOnceAndTheNextRunIsKept) {
  const std::string bytes = "\x9b\x1f\0\xe4\x7a\xc3\x10\0\0\xff"s;
  dir_.Write(harvest::kRecoveryFileName, bytes);
  auto told = AnswerMessageBox();
  auto form = MakeWindow();
  const auto said =
      QRegularExpression(QStringLiteral("^无法读取恢复记录(.+)：它不是恢复记录。这个"
                                        "文件已改名为\\1(\\.damaged-[-0-9]+)，内容未改"
                                        "动；本次运行保存新的恢复记录。$"))
          .match(told->text);
  ASSERT_TRUE(said.hasMatch()) << told->text.toStdString();
  EXPECT_EQ(said.captured(1), QString::fromStdString(RecordPath().string()));
  const std::string moved = harvest::kRecoveryFileName + said.captured(2).toStdString();
  EXPECT_EQ(dir_.Read(moved), bytes);

  // This run is kept: after a crash the next start offers it back, and says
  // nothing more of the file moved aside (a box unasked for fails the test).
  form.Run().KeywordList() = {"k"};
  AnswerInput(QStringLiteral("0"));
  form.Session().StartSearch();
  browser_->pages[browser_->navigated.back()] = "13600000001";
  TickAndRead(form);
  session::SessionProbe::Recovery(form.Session()).Flush();
  form.reset();
  AnswerMessageBox(QStringLiteral("是[&Y]"));
  auto next = MakeWindow();
  EXPECT_EQ(next.Results().Rows(), std::vector<std::string>{"13600000001"});
}

// The window in a child process (recovery_child), in `mode`, until it has
// said `ready`; what it said.
QByteArray StartChild(QProcess& child, const fs::path& folder, const char* mode,
                      const QByteArray& ready) {
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(QStringLiteral(KELVANE_RECOVERY_CHILD),
              {QString::fromStdString(folder.string()), QString::fromLatin1(mode)});
  QByteArray said;
  if (!child.waitForStarted(10000)) return said;
  QElapsedTimer clock;
  clock.start();
  while (!said.contains(ready) && clock.elapsed() < 30000 && child.waitForReadyRead(1000))
    said += child.readAll();
  return said;
}

// The real program, killed: a child process running the window.
struct KillCase {
  const char* what;
  int signal;
};

TEST_F(RecoveryTest, AProgramKilledInTheMiddleOfARunIsRestoredByTheNextStart) {
  const KillCase cases[] = {{"SIGKILL", SIGKILL}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(RecordPath());
    QProcess child;
    const QByteArray said = StartChild(child, dir_.Path(), "run", "\n");
    const auto match = QRegularExpression(QStringLiteral("rows=(\\S*) found=(\\d+) resume=(\\d+)"))
                           .match(QString::fromLatin1(said));
    ASSERT_TRUE(match.hasMatch()) << said.toStdString();

    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(child.processId()), c.signal);
    ASSERT_TRUE(child.waitForFinished(5000));
    if (c.signal == SIGKILL) {
      EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    } else {
      EXPECT_LT(clock.elapsed(), 2000);
      EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
      EXPECT_EQ(child.exitCode(), 128 + c.signal);
    }
    EXPECT_EQ(fs::status(RecordPath()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);

    const QStringList rows = match.captured(1).split(u',', Qt::SkipEmptyParts);
    AnswerMessageBox(QStringLiteral("是[&Y]"));
    auto form = MakeWindow();
    QStringList restored;
    for (const auto& row : form.Results().Rows()) restored << QString::fromStdString(row);
    EXPECT_EQ(restored, rows);
    EXPECT_EQ(rows.size(), 30);  // six pages of five
    EXPECT_EQ(Panel(*form, "FoundCount"), match.captured(2));
    EXPECT_EQ(form.Run().KeywordIndex(), match.captured(3).toInt());
    EXPECT_EQ(form.Run().KeywordIndex(), 1);  // the second of three keywords
    form.reset();
  }
}

TEST_F(RecoveryTest, ATerminationSignalAbandonsAMergeAndLeavesItsOutputAsItWas) {
  QProcess child;
  const QByteArray said = StartChild(child, dir_.Path(), "merge", "merging");
  ASSERT_TRUE(said.contains("merging")) << said.toStdString();
  QElapsedTimer clock;
  clock.start();
  ::kill(static_cast<pid_t>(child.processId()), SIGTERM);
  ASSERT_TRUE(child.waitForFinished(5000));
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_EQ(child.exitCode(), 128 + SIGTERM);
  EXPECT_EQ(dir_.Read("merged.txt"), "kept\r\n");
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir_.Path()))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{harvest::kRecoveryFileName, "a.txt", "merged.txt",
                                            "pipe.txt"}));
}

}  // namespace
