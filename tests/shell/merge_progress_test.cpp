// The merge behind its progress dialog: the window keeps painting while
// nothing else happens, a tick of the run that falls due waits for the end
// of the merge, and an error shows once the dialog has gone.
//
// The merge is held half-way by a named pipe among its inputs: it waits
// there until the test, from within the dialog's event loop, writes to it.

#include "shell/merge_progress.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include "qt_test_helpers.h"
#include "shell_fixture.h"

namespace {

// Answers the open dialog with several files of the folder.
void AnswerFiles(const std::filesystem::path& folder, const QStringList& names) {
  shell::AnswerNextDialog([=](QDialog& dialog) {
    auto& files = dynamic_cast<QFileDialog&>(dialog);
    files.setDirectory(QString::fromStdString(folder.string()));
    QStringList quoted;
    for (const auto& name : names) quoted << QLatin1Char('"') + name + QLatin1Char('"');
    files.selectFile(quoted.join(QLatin1Char(' ')));
    static_cast<QDialog&>(files).accept();
  });
}

// Lets the merge waiting at the pipe go on with `bytes`.
void WriteToPipe(const std::filesystem::path& pipe, const std::string& bytes) {
  const int fd = ::open(pipe.c_str(), O_WRONLY);  // meets the merge's open for reading
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

class MergeProgressTest : public FormTest {
 protected:
  // What the test saw while the merge waited at the pipe.
  struct During {
    bool dialogShown = false;
    bool dialogModal = false;
    QString phase;
    QString amount;
    bool windowPainted = false;
    bool trayEnabled = true;
    int results = -1;
  };

  During Look(shell::MainWindow& form) {
    During seen;
    auto* dialog = form.findChild<shell::MergeProgressDialog*>();
    seen.dialogShown = dialog && dialog->isVisible();
    seen.dialogModal = dialog && QApplication::activeModalWidget() == dialog;
    if (dialog) {
      seen.phase = dialog->findChild<QLabel*>(QStringLiteral("MergePhase"))->text();
      seen.amount = dialog->findChild<QLabel*>(QStringLiteral("MergeAmount"))->text();
    }
    PaintCounter counter;
    auto* panel = Child<QLabel>(form, "StatusPanel6");
    panel->installEventFilter(&counter);
    panel->update();
    Settle(50);
    panel->removeEventFilter(&counter);
    seen.windowPainted = counter.paints > 0;
    seen.trayEnabled = form.Tray().Enabled();
    seen.results = form.Results().Count();
    return seen;
  }

  std::filesystem::path MakePipe(const std::string& name) {
    const std::filesystem::path pipe = dir_.Path() / name;
    EXPECT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    return pipe;
  }
};

TEST_F(MergeProgressTest, ATickDueDuringTheMergeRunsAfterItWhileTheWindowPaints) {
  auto form = MakeForm();
  form->show();
  Child<QSpinBox>(*form, "IntervalBox")->setValue(1);
  form->Run().KeywordList() = {"k1", "k2"};
  AnswerInput(QStringLiteral("0"));
  form->StartSearch();
  browser_->pages[browser_->navigated.at(0)] = "13800000001";
  form->OnTimerTick();  // k1's page; the run moves on to k2, whose tick is due in a second
  ASSERT_EQ(browser_->navigated.size(), 2u);
  browser_->pages[browser_->navigated[1]] = "15900000002";

  std::string numbers;
  for (int i = 0; i < 250000; ++i) numbers += std::to_string(13000000000LL + i) + "\r\n";
  dir_.Write("a.txt", numbers);
  const auto pipe = MakePipe("pipe.txt");
  AnswerFiles(dir_.Path(), {QStringLiteral("a.txt"), QStringLiteral("pipe.txt")});
  AnswerFile(QString::fromStdString(dir_.File("merged.txt").text));

  During seen;
  QTimer::singleShot(shell::kProgressDialogDelayMs + 1200, [&] {
    seen = Look(*form);
    WriteToPipe(pipe, "15900000003\r\n");
  });
  Child<QToolButton>(*form, "MergeButton")->click();

  EXPECT_TRUE(seen.dialogShown);
  EXPECT_TRUE(seen.dialogModal);
  EXPECT_EQ(seen.phase, QStringLiteral("正在读取数据文件..."));
  EXPECT_EQ(seen.amount, QStringLiteral("3.1 / 3.1 MB"));
  EXPECT_TRUE(seen.windowPainted);
  EXPECT_FALSE(seen.trayEnabled);
  EXPECT_EQ(seen.results, 1);  // the tick fell due, and waited
  EXPECT_EQ(Panel(*form, 6), QStringLiteral("文件合并整理完毕！共计：250001"));
  EXPECT_EQ(dir_.Read("merged.txt"), numbers + "15900000003\r\n");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(form->Tray().Enabled());
  EXPECT_EQ(form->Results().Count(), 1);
  Settle(100);  // back in the event loop: the tick that waited
  EXPECT_EQ(form->Results().Count(), 2);
}

TEST_F(MergeProgressTest, AnErrorShowsAfterTheDialogHasGone) {
  auto form = MakeForm();
  form->show();
  const auto pipe = MakePipe("pipe.txt");
  dir_.Write("gone.txt", "x\r\n");
  AnswerFiles(dir_.Path(), {QStringLiteral("pipe.txt"), QStringLiteral("gone.txt")});
  AnswerFile(QString::fromStdString(dir_.File("merged.txt").text));
  bool dialogGone = false;
  QString error;
  shell::AnswerNextDialog([&](QDialog& box) {
    dialogGone = form->findChild<shell::MergeProgressDialog*>() == nullptr;
    error = dynamic_cast<QMessageBox&>(box).text();
    box.accept();
  });
  QTimer::singleShot(shell::kProgressDialogDelayMs + 200, [&] {
    std::filesystem::remove(dir_.Path() / "gone.txt");  // the next input cannot be opened
    WriteToPipe(pipe, "2\r\n1\r\n");
  });
  Child<QToolButton>(*form, "MergeButton")->click();
  EXPECT_TRUE(dialogGone);
  EXPECT_EQ(error, QStringLiteral("Cannot open file %1.")
                       .arg(QString::fromStdString(dir_.File("gone.txt").text)));
  EXPECT_EQ(dir_.Read("merged.txt"), "1\r\n2\r\n");
  EXPECT_EQ(Panel(*form, 6), QStringLiteral("文件合并整理完毕！共计：2"));
}

}  // namespace
