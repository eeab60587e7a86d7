#include "shell/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileSystemModel>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "../harvest/gbk.h"
#include "shell/branding.h"
#include "qt_test_helpers.h"
#include "shell_fixture.h"

namespace {

using Rows = std::vector<std::string>;

TEST_F(MainWindowTest, LaysOutTheToolbarInOrderWithCaptionsAndTips) {
  auto form = MakeWindow();
  EXPECT_EQ(form->windowTitle(), QStringLiteral("『Kelvane』 V2.6  —主页: http://kelvane.example.com/ 电话: 010-12345678"));

  // The tool tip is the command's own text and the shortcut in parentheses.
  const std::tuple<const char*, const char*, const char*> buttons[] = {
      {"ImportButton", "导入", "导入关键字列表 (Ctrl+O)"},
      {"SearchButton", "搜索", "开始手机搜索 (F5)"},
      {"StopButton", "终止", "终止手机搜索 (Esc)"},
      {"SaveButton", "保存", "保存搜索结果 (Ctrl+S)"},
      {"SaveProgressButton", "进程", "保存搜索进程 (Ctrl+Shift+S)"},
      {"MergeButton", "合并", "合并数据文件 (Ctrl+M)"},
      {"HomePageButton", "主页", "访问软件主页 (Alt+Home)"},
      {"AboutButton", "关于", "关于本软件 (F1)"},
      {"ExitButton", "退出", "退出软件系统 (Ctrl+Q)"},
  };
  auto* toolbar = Child<QToolBar>(*form, "Toolbar");
  ASSERT_EQ(toolbar->actions().size(), std::size(buttons));
  for (std::size_t i = 0; i < std::size(buttons); ++i) {
    const auto& [name, caption, tip] = buttons[i];
    auto* button = qobject_cast<QToolButton*>(toolbar->widgetForAction(toolbar->actions()[static_cast<int>(i)]));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->objectName(), QString::fromLatin1(name));
    EXPECT_EQ(button->text(), QString::fromUtf8(caption));
    EXPECT_EQ(button->toolTip(), QString::fromUtf8(tip));
    EXPECT_TRUE(button->autoRaise());
    EXPECT_FALSE(button->icon().isNull()) << name;
    EXPECT_TRUE(button->isEnabled()) << name;  // Stop too, at program start
  }
}

TEST_F(MainWindowTest, LaysOutTheListSettingsAndStatusBar) {
  auto form = MakeWindow();
  auto* list = Child<QTreeView>(*form, "ResultList");
  EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("手机号码列表"));
  EXPECT_EQ(list->model()->rowCount(), 0);

  auto* spin = Child<QSpinBox>(*form, "IntervalBox");
  EXPECT_EQ(spin->minimum(), 1);
  EXPECT_EQ(spin->maximum(), 1000);
  EXPECT_EQ(spin->value(), 8);
  auto* box = Child<QCheckBox>(*form, "DedupeBox");
  EXPECT_EQ(box->text(), QStringLiteral("去重"));
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(box->layoutDirection(), Qt::RightToLeft);
  auto* edit = Child<QLineEdit>(*form, "KeywordFileEdit");
  EXPECT_TRUE(edit->isReadOnly());
  EXPECT_TRUE(edit->text().isEmpty());

  // Captions and values in the status bar's order, values empty at first.
  const std::pair<const char*, const char*> panels[] = {
      {"KeywordCountCaption", "总数："}, {"KeywordCount", ""},  {"KeywordNumberCaption", "进程："},
      {"KeywordNumber", ""},             {"FoundCountCaption", "手机："}, {"FoundCount", ""}};
  const QList<QLabel*> inBar = Child<QStatusBar>(*form, "StatusBar")->findChildren<QLabel*>();
  for (std::size_t i = 0; i < std::size(panels); ++i) {
    ASSERT_GT(inBar.size(), static_cast<int>(i));
    EXPECT_EQ(inBar[static_cast<int>(i)]->objectName(), QString::fromLatin1(panels[i].first));
    EXPECT_EQ(inBar[static_cast<int>(i)]->text(), QString::fromUtf8(panels[i].second));
  }
  EXPECT_EQ(Panel(*form, "StatusLine"), shell::ContactLine());

  EXPECT_EQ(form.Session().TimerInterval(), 8000);
  EXPECT_FALSE(form.Session().TimerRunning());
}

struct ImportCase {
  const char* content;
  const char* panel1;
  Rows keywords;
};

TEST_F(MainWindowTest, ImportCountsTextFileLinesAndLoadsListLines) {
  const ImportCase cases[] = {
      {"alpha\r\nbeta\r\n", "2", {"alpha", "beta"}},
      {"alpha\nbeta", "2", {"alpha", "beta"}},
      {"alpha\rbeta\rgamma\r", "1", {"alpha", "beta", "gamma"}},
      {"", "0", {}},
      {"\r\n\r\n", "2", {"", ""}},
  };
  auto form = MakeWindow();
  form.Run().SetKeywordIndex(5);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    const auto file = dir_.Write("keywords.txt", c.content);
    auto shown = AnswerFile(QString::fromStdString(file.text));
    Child<QToolButton>(*form, "ImportButton")->click();
    EXPECT_EQ(shown->title, QStringLiteral("导入关键字列表文件"));
    EXPECT_EQ(shown->directory, QString::fromStdString(dir_.Path().string()));
    EXPECT_EQ(shown->buttons, (QStringList{QStringLiteral("Text files(*.txt)"), QStringLiteral("All files(*.*)")}));
    EXPECT_EQ(Panel(*form, "KeywordCount"), QString::fromUtf8(c.panel1));
    EXPECT_EQ(form.Run().KeywordList(), c.keywords);
    EXPECT_EQ(Child<QLineEdit>(*form, "KeywordFileEdit")->text(), QString::fromStdString(file.text));
  }
  EXPECT_EQ(form.Run().KeywordIndex(), 5);  // the resume point survives imports
}

TEST_F(MainWindowTest, ImportReadsChineseFileNamesAndGbkKeywords) {
  auto form = MakeWindow();
  const QString name = QString::fromStdString(dir_.Path().string()) + QStringLiteral("/手机关键字.txt");
  {
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(Gbk("手机\r\n电话\r\n")));
  }
  AnswerFile(name);
  Child<QToolButton>(*form, "ImportButton")->click();
  EXPECT_EQ(form.Run().KeywordList(), (Rows{Gbk("手机"), Gbk("电话")}));
  EXPECT_EQ(Child<QLineEdit>(*form, "KeywordFileEdit")->text(), name);
}

// The names a file dialog lists in its folder under the filter at `index`,
// chosen as a user does.
QStringList ListedUnderFilter(QFileDialog& dialog, int index) {
  auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  auto* model = dialog.findChild<QFileSystemModel*>();
  if (!combo || !model) return {QStringLiteral("<not Qt's own dialog>")};
  combo->setCurrentIndex(index);
  Q_EMIT combo->activated(index);
  Q_EMIT combo->textActivated(combo->currentText());
  const QModelIndex folder = model->index(dialog.directory().absolutePath());
  // The model reads the folder on a thread of its own: wait until the list
  // has stayed the same for a while.
  QStringList listed;
  for (int steady = 0, wait = 0; steady < 5 && wait < 100; ++wait) {
    Settle(20);
    QStringList now;
    for (int row = 0; row < model->rowCount(folder); ++row) now << model->index(row, 0, folder).data().toString();
    now.sort();
    steady = now == listed && !now.isEmpty() ? steady + 1 : 0;
    listed = now;
  }
  return listed;
}

TEST_F(MainWindowTest, AllFilesListsEveryFileAndTextFilesOnlyTextFiles) {
  dir_.Write("keywords", "alpha\r\n");
  dir_.Write("list.txt", "beta\r\n");
  auto form = MakeWindow();
  const std::pair<int, QStringList> filters[] = {
      {0, {QStringLiteral("list.txt")}},
      {1, {QStringLiteral("keywords"), QStringLiteral("list.txt")}},
  };
  for (const auto& [index, expected] : filters) {
    SCOPED_TRACE(index);
    QStringList listed;
    shell::AnswerNextDialog([&, index = index](QDialog& dialog) {
      auto& files = dynamic_cast<QFileDialog&>(dialog);
      listed = ListedUnderFilter(files, index);
      files.selectFile(QString::fromStdString((dir_.Path() / "keywords").string()));
      static_cast<QDialog&>(files).accept();
    });
    Child<QToolButton>(*form, "ImportButton")->click();
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(form.Run().KeywordList(), Rows{"alpha"});
  }
}

TEST_F(MainWindowTest, ImportOpensAFileWhoseNameIsNotUtf8) {
  // A keyword file from a Windows archive, named in GBK: "手机.txt".
  const std::string gbkName = "\xCA\xD6\xBB\xFA.txt";
  dir_.Write(gbkName, "alpha\r\nbeta\r\n");
  auto form = MakeWindow();
  // Qt hands back what it could decode; the bytes it could not are U+FFFD.
  const QString handedBack = QFile::decodeName(QByteArray::fromStdString((dir_.Path() / gbkName).string()));
  shell::AnswerNextDialog([&](QDialog& dialog) {
    auto& files = dynamic_cast<QFileDialog&>(dialog);
    files.selectFile(handedBack);
    files.QDialog::accept();  // as a desktop's own dialog accepts what it listed
  });
  Child<QToolButton>(*form, "ImportButton")->click();
  EXPECT_EQ(form.Run().KeywordList(), (Rows{"alpha", "beta"}));
  EXPECT_EQ(Panel(*form, "KeywordCount"), QStringLiteral("2"));
  EXPECT_EQ(Child<QLineEdit>(*form, "KeywordFileEdit")->text(),
            QString::fromStdString(dir_.Path().string()) + QStringLiteral("/手机.txt"));
}

TEST_F(MainWindowTest, AFailedImportShowsTheFileErrorAndKeepsTheLists) {
  auto form = MakeWindow();
  form.Run().KeywordList() = {"kept"};
  const auto file = dir_.Write("vanishing.txt", "a\r\n");
  shell::AnswerNextDialog([&](QDialog& dialog) {
    auto& files = dynamic_cast<QFileDialog&>(dialog);
    files.selectFile(QString::fromStdString(file.text));
    static_cast<QDialog&>(files).accept();
    std::filesystem::remove(file.native);  // gone between the dialog and the read
  });
  auto error = AnswerMessageBox();
  Child<QToolButton>(*form, "ImportButton")->click();
  EXPECT_EQ(error->title, shell::AppTitle());
  EXPECT_EQ(error->text, QStringLiteral("File not found."));
  EXPECT_EQ(error->icon, QMessageBox::Critical);
  EXPECT_EQ(error->buttons, QStringList{QStringLiteral("确定")});
  EXPECT_EQ(form.Run().KeywordList(), Rows{"kept"});
}

TEST_F(MainWindowTest, ACancelledImportChangesNothing) {
  auto form = MakeWindow();
  form.Run().KeywordList() = {"kept"};
  AnswerFile({});
  Child<QToolButton>(*form, "ImportButton")->click();
  EXPECT_EQ(form.Run().KeywordList(), Rows{"kept"});
  EXPECT_TRUE(Child<QLineEdit>(*form, "KeywordFileEdit")->text().isEmpty());
}

TEST_F(MainWindowTest, SaveResultsWritesOneNumberPerLine) {
  auto form = MakeWindow();
  form.Run().KeywordList() = {"k"};
  AnswerInput(QStringLiteral("0"));
  Child<QToolButton>(*form, "SearchButton")->click();
  ASSERT_EQ(browser_->navigated.size(), 1u);
  browser_->pages[browser_->navigated[0]] = "call 13800000001 or 15900000002\r\nfax 13800000003";
  TickAndRead(form);
  ASSERT_EQ(form.Results().Count(), 3);

  auto shown = AnswerFile(QString::fromStdString(dir_.File("results.txt").text));
  Child<QToolButton>(*form, "SaveButton")->click();
  EXPECT_EQ(shown->title, QStringLiteral("搜索结果保存为"));
  EXPECT_EQ(dir_.Read("results.txt"), "13800000001\r\n15900000002\r\n13800000003\r\n");

  // Saving over it asks first; "no" brings the dialog back, where a
  // cancel leaves the file alone.
  dir_.Write("results.txt", "old");
  AnswerFile(QString::fromStdString(dir_.File("results.txt").text));
  auto replace = AnswerMessageBox(QStringLiteral("否[&N]"));
  AnswerFile({});
  Child<QToolButton>(*form, "SaveButton")->click();
  EXPECT_EQ(replace->buttons, (QStringList{QStringLiteral("是[&Y]"), QStringLiteral("否[&N]")}));
  EXPECT_EQ(dir_.Read("results.txt"), "old");
}

struct TickRows {
  const char* what;
  std::string page;
  int insertions;  // announced to the view
};

// 11-digit numbers from `first` on, `count` of them, three to a line.
std::string NumbersPage(long long first, int count) {
  std::string page;
  for (int i = 0; i < count; ++i) page += std::to_string(first + i) + (i % 3 == 2 ? "\r\n" : " ");
  return page;
}

TEST_F(MainWindowTest, ATicksNumbersReachTheViewAtOnceWithTheLastInSight) {
  const TickRows cases[] = {
      {"no numbers", "nothing here", 0},
      {"300 numbers", NumbersPage(15900000000, 300), 1},
      // "13" numbers empty the list each time it reaches 51 rows.
      {"clears at 51", NumbersPage(13800000000, 120), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto form = MakeWindow();
    form->show();
    form.Run().KeywordList() = {"k"};
    AnswerInput(QStringLiteral("0"));
    form.Session().StartSearch();
    browser_->pages[browser_->navigated[0]] = c.page;
    auto* view = Child<QTreeView>(*form, "ResultList");
    int insertions = 0;
    QObject::connect(view->model(), &QAbstractItemModel::rowsInserted, [&] { ++insertions; });
    TickAndRead(form);
    const int rows = form.Results().Count();
    EXPECT_EQ(insertions, c.insertions);
    ASSERT_EQ(view->model()->rowCount(), rows);
    for (int row = 0; row < rows; ++row) {
      EXPECT_EQ(view->model()->index(row, 0).data().toString().toStdString(), form.Results().Caption(row));
    }
    if (rows > 0) {
      Settle();
      const QRect last = view->visualRect(view->model()->index(rows - 1, 0));
      EXPECT_TRUE(view->viewport()->rect().intersects(last)) << "the last row is out of sight";
    }
  }
}

TEST_F(MainWindowTest, ALongRunGivesFreedMemoryBackEveryTenPages) {
  auto form = MakeWindow();
  form.Run().KeywordList() = {"k"};
  AnswerInput(QStringLiteral("0"));
  form.Session().StartSearch();
  for (int page = 1; page <= 25; ++page) {
    browser_->pages[browser_->navigated.back()] = "15900000001\r\n1 2 " + Gbk("下一页>");
    TickAndRead(form);
    EXPECT_EQ(memoryReturns_, page / 10) << page;
  }
}

TEST_F(MainWindowTest, TheCloseQuestionKeepsOrClosesTheWindow) {
  auto form = MakeWindow();
  form->show();
  auto no = AnswerMessageBox(QStringLiteral("否[&N]"));
  Child<QToolButton>(*form, "ExitButton")->click();
  EXPECT_EQ(no->title, QStringLiteral("确认"));
  EXPECT_EQ(no->text, QStringLiteral("确认退出Kelvane吗?"));
  EXPECT_EQ(no->buttons, (QStringList{QStringLiteral("是[&Y]"), QStringLiteral("否[&N]")}));
  EXPECT_EQ(no->icon, QMessageBox::Question);
  EXPECT_TRUE(form->isVisible());

  AnswerMessageBox(QStringLiteral("是[&Y]"));
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->isVisible());
}

// What the user or the desktop does while a page's text is still to come.
struct DuringRead {
  const char* what;
  bool close;      // the window manager's close
  bool about;      // the tray menu's About
  bool readFails;
  QStringList dialogs;  // in the order they came
};

TEST_F(MainWindowTest, WhatComesDuringAPageReadActsOnTheStateAsItIs) {
  const DuringRead cases[] = {
      {"a close: asked once the page is processed", true, false, false, {QStringLiteral("确认")}},
      {"a close: asked after the read's error", true, false, true, {shell::AppTitle(), QStringLiteral("确认")}},
      {"About from the tray: shown at once", false, true, false, {QStringLiteral("About")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto form = MakeWindow();
    form->show();
    QDialog about;
    about.setWindowTitle(QStringLiteral("About"));
    form->SetAboutBox(&about);
    form.Run().KeywordList() = {"k", "k2"};
    AnswerInput(QStringLiteral("0"));
    form.Session().StartSearch();
    ASSERT_EQ(browser_->navigated.size(), 1u);
    browser_->pages[browser_->navigated[0]] = "13800000001";
    browser_->holdAnswers = true;
    browser_->failRead = c.readFails;
    form.Session().OnTick();
    ASSERT_TRUE(form.Run().PageOnItsWay());

    QStringList dialogs;
    bool aboutDuringRead = false;
    std::vector<std::shared_ptr<ShownDialog>> boxes;
    if (c.about) {
      shell::AnswerNextDialog([&](QDialog& dialog) {
        dialogs << dialog.windowTitle();
        aboutDuringRead = form.Run().PageOnItsWay();
        dialog.accept();
      });
      form->findChild<QAction*>(QStringLiteral("AboutAction"))->trigger();
      EXPECT_TRUE(aboutDuringRead);
    }
    if (c.close) {
      form->close();
      EXPECT_TRUE(form->isVisible()) << "closed in the middle of the page";
      if (c.readFails) boxes.push_back(AnswerMessageBox());
      boxes.push_back(AnswerMessageBox(QStringLiteral("是[&Y]")));
      EXPECT_EQ(shell::PendingDialogAnswers(), static_cast<int>(boxes.size())) << "asked too early";
    }
    browser_->AnswerHeld();
    for (const auto& shown : boxes) dialogs << shown->title;
    EXPECT_EQ(dialogs, c.dialogs);
    EXPECT_EQ(form->isVisible(), !c.close);
    EXPECT_EQ(form.Results().Count(), c.readFails ? 0 : 1);  // the page was processed first
    // The window may go while its run is still on (the next keyword is
    // due): nothing of it may be touched afterwards (the sanitizer build
    // checks).
    EXPECT_EQ(form.Session().TimerRunning(), !c.readFails);
    form.reset();
    Settle();
  }
}

TEST_F(MainWindowTest, AnErrorInACommandIsShownWithTheTitleAndAFullStop) {
  auto form = MakeWindow();
  auto error = AnswerMessageBox();
  Child<QToolButton>(*form, "SearchButton")->click();  // Search with no keywords
  EXPECT_EQ(error->title, QStringLiteral("『Kelvane』 V2.6"));
  EXPECT_EQ(error->text, QStringLiteral("请先导入关键字列表文件."));
  EXPECT_EQ(error->icon, QMessageBox::Critical);
  EXPECT_EQ(error->buttons, QStringList{QStringLiteral("确定")});
  EXPECT_TRUE(Child<QToolButton>(*form, "SearchButton")->isEnabled());
}

TEST_F(MainWindowTest, SearchWithoutANetworkSaysSoInAnInformationDialog) {
  auto form = MakeWindow();
  form.Run().KeywordList() = {"k"};
  addresses_->addresses = {"192.168.1.20", "127.0.0.1"};
  auto shown = AnswerMessageBox();
  Child<QToolButton>(*form, "SearchButton")->click();
  EXPECT_EQ(shown->title, QStringLiteral("信息"));
  EXPECT_EQ(shown->text, QStringLiteral("您还没有连接到网上！"));
  EXPECT_EQ(shown->icon, QMessageBox::Information);
  EXPECT_EQ(shown->buttons, QStringList{QStringLiteral("确定")});
  EXPECT_TRUE(browser_->navigated.empty());
  EXPECT_TRUE(Child<QToolButton>(*form, "SearchButton")->isEnabled());
}

TEST_F(MainWindowTest, StandardDialogsSpeakChinese) {
  // Qt's own texts come from its translations, loaded at start.
  QMessageBox box(QMessageBox::NoIcon, QString(), QString(), QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"), QStringLiteral("文件名称(&N)："));
}

TEST_F(MainWindowTest, TheHomePageGoesToTheDesktopsHandler) {
  UrlRecorder recorder;
  auto form = MakeWindow();
  Child<QToolButton>(*form, "HomePageButton")->click();
  EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl(QStringLiteral("http://kelvane.example.com/"))});
}

}  // namespace
