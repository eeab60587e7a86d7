// The merge from the toolbar: its two dialogs, the status line before and
// after, the busy cursor given back whatever happens.

#include <QApplication>
#include <QToolButton>

#include "shell_fixture.h"

namespace {

// Answers the open dialog with several files of the temp folder.
std::shared_ptr<ShownDialog> AnswerFiles(const std::filesystem::path& folder, const QStringList& names,
                                         QString* offered = nullptr) {
  auto shown = std::make_shared<ShownDialog>();
  shell::AnswerNextDialog([=](QDialog& dialog) {
    auto& files = dynamic_cast<QFileDialog&>(dialog);
    shown->title = files.windowTitle();
    shown->buttons = files.nameFilters();
    if (offered) *offered = files.selectedFiles().value(0);
    files.setDirectory(QString::fromStdString(folder.string()));
    QStringList quoted;
    for (const auto& name : names) quoted << QLatin1Char('"') + name + QLatin1Char('"');
    files.selectFile(quoted.join(QLatin1Char(' ')));
    static_cast<QDialog&>(files).accept();
  });
  return shown;
}

TEST_F(MainWindowTest, MergeWritesTheSortedLinesAndCountsThem) {
  auto form = MakeWindow();
  dir_.Write("a.txt", "138\r\n150\r\n");
  dir_.Write("b.txt", "150\r\n139\r\n");
  auto open = AnswerFiles(dir_.Path(), {QStringLiteral("a.txt"), QStringLiteral("b.txt")});
  auto save = AnswerFile(QString::fromStdString(dir_.File("merged.txt").text));
  MergeAndWait(form);

  EXPECT_EQ(open->title, QStringLiteral("选择待合并的数据文件"));
  EXPECT_EQ(open->buttons, (QStringList{QStringLiteral("文本文件(*.txt)"), QStringLiteral("所有文件(*.*)")}));
  EXPECT_EQ(save->title, QStringLiteral("合并后的数据文件保存为"));
  EXPECT_EQ(dir_.Read("merged.txt"), "138\r\n139\r\n150\r\n");
  EXPECT_EQ(Panel(*form, "StatusLine"), QStringLiteral("文件合并整理完毕！共计：3"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, MergeDialogsOfferTheNamesChosenLastTime) {
  auto form = MakeWindow();
  dir_.Write("a.txt", "1\r\n");
  AnswerFiles(dir_.Path(), {QStringLiteral("a.txt")});
  AnswerFile(QString::fromStdString(dir_.File("merged.txt").text));
  MergeAndWait(form);

  QString offeredOpen;
  AnswerFiles(dir_.Path(), {QStringLiteral("a.txt")}, &offeredOpen);
  auto save = AnswerFile({});  // cancelled: nothing happens
  dir_.Write("merged.txt", "kept");
  MergeAndWait(form);
  EXPECT_EQ(offeredOpen, QString::fromStdString(dir_.File("a.txt").text));
  EXPECT_EQ(dir_.Read("merged.txt"), "kept");
}

TEST_F(MainWindowTest, AFailedMergeShowsItsErrorAndGivesTheCursorBack) {
  auto form = MakeWindow();
  dir_.Write("a.txt", "1\r\n");
  AnswerFiles(dir_.Path(), {QStringLiteral("a.txt")});
  AnswerFile(QString::fromStdString(dir_.Path().string()) + QStringLiteral("/missing/merged.txt"));
  auto error = AnswerMessageBox();
  MergeAndWait(form);
  EXPECT_EQ(error->text, QStringLiteral("Cannot create file %1/missing/merged.txt.").arg(QString::fromStdString(dir_.Path().string())));
  EXPECT_EQ(Panel(*form, "StatusLine"), QStringLiteral("数据正处理中..."));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, MergeIntoOneOfItsInputs) {
  auto form = MakeWindow();
  dir_.Write("a.txt", "3\r\n1\r\n");
  dir_.Write("b.txt", "2\r\n");
  AnswerFiles(dir_.Path(), {QStringLiteral("a.txt"), QStringLiteral("b.txt")});
  AnswerFile(QString::fromStdString(dir_.File("a.txt").text));
  auto replace = AnswerMessageBox(QStringLiteral("是[&Y]"));
  MergeAndWait(form);
  EXPECT_EQ(replace->title, QStringLiteral("警告"));
  EXPECT_TRUE(replace->text.startsWith(QStringLiteral("a.txt"))) << replace->text.toStdString();
  EXPECT_EQ(dir_.Read("a.txt"), "1\r\n2\r\n3\r\n");
}

}  // namespace
