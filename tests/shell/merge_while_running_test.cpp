// The merge on a worker while the window's loop goes on: the window paints,
// the commands that would collide with it are off, the run's tick and page
// texts wait for the merge's end, a close is asked about only after it, and
// its error shows once the progress dialog has gone.
//
// The merge is held half-way by a named pipe among its inputs: it waits
// there until the test writes to it.


#include <QAction>
#include <QMessageBox>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "../session/held_input.h"
#include "qt_test_helpers.h"
#include "shell/merge_progress_dialog.h"
#include "shell_fixture.h"

namespace {

class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

class MergeWhileRunningTest : public MainWindowTest {
 protected:
  // What the test saw while the merge waited at the pipe.
  struct During {
    bool dialogShown = false;
    bool dialogModal = false;
    QString label;
    bool windowPainted = false;
    bool trayEnabled = true;
    int results = -1;
  };

  During Look(Program& form) {
    During seen;
    auto* dialog = form->findChild<shell::MergeProgressDialog*>();
    seen.dialogShown = dialog && dialog->isVisible();
    seen.dialogModal = dialog && QApplication::activeModalWidget() == dialog;
    if (dialog) seen.label = dialog->labelText();
    PaintCounter counter;
    auto* panel = Child<QLabel>(*form, "StatusLine");
    panel->installEventFilter(&counter);
    panel->update();
    Settle(50);
    panel->removeEventFilter(&counter);
    seen.windowPainted = counter.paints > 0;
    seen.trayEnabled = !tray_->contextMenu.isNull();
    seen.results = form.Results().Count();
    return seen;
  }

  static bool ProgressDialogShown(Program& form) {
    auto* dialog = form->findChild<shell::MergeProgressDialog*>();
    return dialog && dialog->isVisible();
  }

  // Starts a merge of `names` into merged.txt; it returns at once.
  void StartMerge(Program& form, const QStringList& names) {
    AnswerWithFiles(dir_.Path(), names);
    AnswerFile(QString::fromStdString(dir_.File("merged.txt").text));
    Child<QToolButton>(*form, "MergeButton")->click();
    EXPECT_TRUE(Merging(form));
  }
  bool WaitForMergeEnd(Program& form) {
    return WaitFor([&] { return !Merging(form); }, 60000);
  }
  // A run of two keywords whose first page has been processed: the second
  // keyword's page is requested and its tick due in a second.
  void RunToSecondKeyword(Program& form) {
    Child<QSpinBox>(*form, "IntervalBox")->setValue(1);
    form.Run().KeywordList() = {"k1", "k2"};
    AnswerInput(QStringLiteral("0"));
    form.Session().StartSearch();
    browser_->pages[browser_->navigated.at(0)] = "13800000001";
    TickAndRead(form);
    ASSERT_EQ(browser_->navigated.size(), 2u);
    browser_->pages[browser_->navigated[1]] = "15900000002";
  }
};

TEST_F(MergeWhileRunningTest, ATickDueDuringTheMergeRunsAfterItWhileTheWindowPaints) {
  auto form = MakeWindow();
  form->show();
  RunToSecondKeyword(form);
  std::string numbers;
  for (int i = 0; i < 250000; ++i) numbers += std::to_string(13000000000LL + i) + "\r\n";
  dir_.Write("a.txt", numbers);
  HeldInput pipe(dir_.Path() / "pipe.txt");

  // A timer of the test's own, due after the run's tick (a coarse timer
  // fires at most 5% late): Qt fires timers in the order they fall due, so
  // once it has fired, the tick has fallen due.
  bool pastTheTick = false;
  QTimer::singleShot(1200, Qt::PreciseTimer, form.get(), [&] { pastTheTick = true; });
  StartMerge(form, {QStringLiteral("a.txt"), QStringLiteral("pipe.txt")});
  ASSERT_TRUE(WaitFor([&] { return pastTheTick && ProgressDialogShown(form); }, 30000));
  const During seen = Look(form);
  const int readsDuring = browser_->reads;
  pipe.Release("15900000003\r\n");
  ASSERT_TRUE(WaitForMergeEnd(form));

  EXPECT_TRUE(seen.dialogShown);
  EXPECT_TRUE(seen.dialogModal);
  EXPECT_EQ(seen.label, QStringLiteral("正在读取数据文件...\n3.1 / 3.1 MB"));
  EXPECT_TRUE(seen.windowPainted);
  EXPECT_FALSE(seen.trayEnabled);
  EXPECT_EQ(seen.results, 1);  // the tick fell due, and waited
  EXPECT_EQ(readsDuring, 1);
  EXPECT_EQ(form->findChild<shell::MergeProgressDialog*>(), nullptr);
  EXPECT_EQ(dir_.Read("merged.txt"), numbers + "15900000003\r\n");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(tray_->contextMenu.isNull());
  EXPECT_TRUE(WaitFor([&] { return form.Results().Count() == 2; }));  // the tick that waited
  EXPECT_EQ(browser_->reads, 2);
}

TEST_F(MergeWhileRunningTest, CommandsThatWouldCollideWithItAreOffUntilItEnds) {
  auto form = MakeWindow();
  form->show();
  form.Run().KeywordList() = {"k"};
  dir_.Write("a.txt", "1\r\n");
  HeldInput pipe(dir_.Path() / "pipe.txt");
  StartMerge(form, {QStringLiteral("a.txt"), QStringLiteral("pipe.txt")});

  // In the first moments, before the dialog: a click, a key, a shortcut,
  // and a screen reader's press on a second merge, do nothing.
  QTest::mouseClick(Child<QToolButton>(*form, "SearchButton"), Qt::LeftButton);
  QTest::keyClick(Child<QToolButton>(*form, "SearchButton"), Qt::Key_Space);
  Child<QAction>(*form, "MergeAction")->trigger();
  for (const char* name : {"ImportAction", "SearchAction", "MergeAction"}) {
    EXPECT_FALSE(Child<QAction>(*form, name)->isEnabled()) << name;
  }
  EXPECT_TRUE(Child<QAction>(*form, "StopAction")->isEnabled());
  // The tray menu cannot be had: the tray takes no clicks.
  EXPECT_TRUE(tray_->contextMenu.isNull());
  ASSERT_TRUE(WaitFor([&] {
    auto* dialog = form->findChild<shell::MergeProgressDialog*>();
    return dialog && dialog->isVisible();
  }));
  EXPECT_EQ(QApplication::activeModalWidget(), form->findChild<shell::MergeProgressDialog*>());
  pipe.Release("2\r\n");
  ASSERT_TRUE(WaitForMergeEnd(form));
  EXPECT_TRUE(browser_->navigated.empty()) << "a click got through";
  EXPECT_EQ(shell::PendingDialogAnswers(), 0);

  // The commands are back.
  AnswerInput(QStringLiteral("0"));
  QTest::mouseClick(Child<QToolButton>(*form, "SearchButton"), Qt::LeftButton);
  EXPECT_EQ(browser_->navigated.size(), 1u);
}

struct CloseDuringMerge {
  const char* what;
  bool behindDialog;  // else at once, before the merge's dialog shows
  bool fromTray;     // the tray menu's Exit, else the window's close()
  const char* answer;
  bool closed;
};

TEST_F(MergeWhileRunningTest, ACloseDuringTheMergeIsAskedOnceTheOutputIsWhole) {
  const CloseDuringMerge cases[] = {
      {"in its first moments, answered yes", false, false, "是[&Y]", true},
      {"behind its dialog, answered no", true, false, "否[&N]", false},
      // A menu the desktop still shows (StatusNotifier menus come over D-Bus).
      {"the tray's Exit behind its dialog, answered yes", true, true, "是[&Y]", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto form = MakeWindow();
    form->show();
    dir_.Write("a.txt", "3\r\n1\r\n");
    std::filesystem::remove(dir_.Path() / "pipe.txt");
    std::filesystem::remove(dir_.Path() / "merged.txt");
    HeldInput pipe(dir_.Path() / "pipe.txt");
    StartMerge(form, {QStringLiteral("a.txt"), QStringLiteral("pipe.txt")});
    if (c.behindDialog) {
      ASSERT_TRUE(WaitFor([&] { return ProgressDialogShown(form); }, 30000));
    } else {
      EXPECT_FALSE(ProgressDialogShown(form));
    }
    // The close is handled before trigger() and close() return.
    if (c.fromTray) {
      form->findChild<QAction*>(QStringLiteral("ExitAction"))->trigger();
    } else {
      form->close();
    }
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(Merging(form));

    bool outputWholeWhenAsked = false;
    auto question = std::make_shared<ShownDialog>();
    shell::AnswerNextDialog([&](QDialog& dialog) {
      outputWholeWhenAsked = dir_.Read("merged.txt") == "1\r\n2\r\n3\r\n" && !Merging(form);
      question->text = dynamic_cast<QMessageBox&>(dialog).text();
      for (auto* button : dynamic_cast<QMessageBox&>(dialog).buttons()) {
        if (button->text() == QString::fromUtf8(c.answer)) button->click();
      }
    });
    pipe.Release("2\r\n");
    ASSERT_TRUE(WaitForMergeEnd(form));
    EXPECT_EQ(question->text, QStringLiteral("确认退出Kelvane吗?"));
    EXPECT_TRUE(outputWholeWhenAsked);
    EXPECT_EQ(form->isVisible(), !c.closed);
    EXPECT_EQ(Panel(*form, "StatusLine"), QStringLiteral("文件合并整理完毕！共计：3"));
  }
}

TEST_F(MergeWhileRunningTest, APageTextThatComesDuringTheMergeIsTakenAfterIt) {
  auto form = MakeWindow();
  form->show();
  RunToSecondKeyword(form);
  browser_->holdAnswers = true;
  form.Session().OnTick();  // k2's page is being read as the merge starts
  dir_.Write("a.txt", "1\r\n");
  HeldInput pipe(dir_.Path() / "pipe.txt");
  StartMerge(form, {QStringLiteral("a.txt"), QStringLiteral("pipe.txt")});
  browser_->AnswerHeld();
  Settle(100);
  EXPECT_EQ(form.Results().Count(), 1);
  EXPECT_TRUE(form.Run().PageOnItsWay());
  pipe.Release("2\r\n");
  ASSERT_TRUE(WaitForMergeEnd(form));
  EXPECT_EQ(form.Results().Count(), 2);
  EXPECT_TRUE(RunEndTold(form));
}

TEST_F(MergeWhileRunningTest, AnErrorShowsAfterTheDialogHasGone) {
  auto form = MakeWindow();
  form->show();
  HeldInput pipe(dir_.Path() / "pipe.txt");
  dir_.Write("gone.txt", "x\r\n");
  bool dialogGone = false;
  QString error;
  StartMerge(form, {QStringLiteral("pipe.txt"), QStringLiteral("gone.txt")});
  shell::AnswerNextDialog([&](QDialog& box) {
    dialogGone = form->findChild<shell::MergeProgressDialog*>() == nullptr;
    error = dynamic_cast<QMessageBox&>(box).text();
    box.accept();
  });
  ASSERT_TRUE(WaitFor([&] { return form->findChild<shell::MergeProgressDialog*>() != nullptr; }));
  std::filesystem::remove(dir_.Path() / "gone.txt");  // the next input cannot be opened
  pipe.Release("2\r\n1\r\n");
  ASSERT_TRUE(WaitForMergeEnd(form));
  EXPECT_TRUE(dialogGone);
  EXPECT_EQ(error, QStringLiteral("Cannot open file %1.")
                       .arg(QString::fromStdString(dir_.File("gone.txt").text)));
  // An input that fails leaves the output as it was: here, not there at all.
  EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "merged.txt"));
  EXPECT_EQ(Panel(*form, "StatusLine"), QStringLiteral("数据正处理中..."));  // no count to tell
}

}  // namespace
