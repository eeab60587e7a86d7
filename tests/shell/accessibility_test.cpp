// What a screen reader finds through the accessibility tree (AT-SPI reads
// the same interfaces): every control by its text, the status panels, the
// rows of the result list and the dialogs' titles.

#include <QAccessible>
#include <QAction>
#include <QToolButton>
#include <QTreeView>
#include <utility>

#include "shell/branding.h"
#include "shell_fixture.h"

namespace {

// Every name in the accessible tree under `root`.
void CollectNames(QAccessibleInterface* node, QStringList& names, int depth = 0) {
  if (!node || depth > 12) return;
  names << node->text(QAccessible::Name);
  for (int i = 0; i < node->childCount(); ++i) CollectNames(node->child(i), names, depth + 1);
}

TEST_F(MainWindowTest, EveryControlIsFoundByItsTextInTheAccessibleTree) {
  auto form = MakeWindow();
  form->show();
  QStringList names;
  CollectNames(QAccessible::queryAccessibleInterface(form.get()), names);
  for (const char* text : {"导入", "搜索", "终止", "保存", "进程", "合并", "主页", "关于", "退出", "手机号码列表",
                           "搜索间隔[秒]", "去重", "搜索文件", "总数：", "进程：", "手机："}) {
    EXPECT_TRUE(names.contains(QString::fromUtf8(text))) << text;
  }
  EXPECT_TRUE(names.contains(shell::ContactLine()));

  auto* search = QAccessible::queryAccessibleInterface(Child(*form, "SearchButton"));
  EXPECT_EQ(search->role(), QAccessible::Button);
  EXPECT_EQ(search->text(QAccessible::Description), QStringLiteral("开始手机搜索 (F5)"));
}

TEST_F(MainWindowTest, EveryToolbarButtonTellsItsKeyBindingAndPressesByAction) {
  auto form = MakeWindow();
  form->show();
  for (auto* button : form->findChildren<QToolButton*>()) {
    if (!button->defaultAction()) continue;
    SCOPED_TRACE(button->objectName().toStdString());
    auto* accessible = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(accessible->actionInterface(), nullptr);
    const QString press = QAccessibleActionInterface::pressAction();
    const QString key = button->defaultAction()->shortcut().toString(QKeySequence::NativeText);
    EXPECT_FALSE(key.isEmpty());
    EXPECT_EQ(accessible->actionInterface()->keyBindingsForAction(press), QStringList{key});
    EXPECT_EQ(accessible->text(QAccessible::Name), button->text());
    EXPECT_TRUE(accessible->state().focusable);
  }
  // Pressing through the accessible action is a click.
  AnswerMessageBox();  // "已经保存当前手机号码搜索进程！"
  auto* progress = QAccessible::queryAccessibleInterface(Child(*form, "SaveProgressButton"));
  progress->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_TRUE(std::filesystem::exists(dir_.Path() / "mobtrawl.ini"));
}

TEST_F(MainWindowTest, StatusPanelsAndResultRowsAreReadable) {
  auto form = MakeWindow();
  form->show();
  form.Run().KeywordList() = {"k"};
  AnswerInput(QStringLiteral("0"));
  form.Session().StartSearch();
  browser_->pages[browser_->navigated[0]] = "13800000001 15900000002";
  TickAndRead(form);

  auto* panel5 = QAccessible::queryAccessibleInterface(Child(*form, "FoundCount"));
  EXPECT_EQ(panel5->role(), QAccessible::StaticText);
  EXPECT_EQ(panel5->text(QAccessible::Name), QStringLiteral("2"));
  // Each value says what it counts.
  const std::pair<const char*, const char*> described[] = {
      {"KeywordCount", "总数"}, {"KeywordNumber", "进程"}, {"FoundCount", "手机"}};
  for (const auto& [panel, description] : described) {
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(Child(*form, panel))->text(QAccessible::Description),
        QString::fromUtf8(description));
  }
  ASSERT_TRUE(RunEndTold(form));
  auto* panel6 = QAccessible::queryAccessibleInterface(Child(*form, "StatusLine"));
  EXPECT_EQ(panel6->text(QAccessible::Name), QStringLiteral("搜索已经结束!"));

  auto* list = QAccessible::queryAccessibleInterface(Child<QTreeView>(*form, "ResultList"));
  ASSERT_NE(list->tableInterface(), nullptr);
  EXPECT_EQ(list->tableInterface()->rowCount(), 2);
  EXPECT_EQ(list->tableInterface()->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("13800000001"));
  EXPECT_EQ(list->tableInterface()->cellAt(1, 0)->text(QAccessible::Name), QStringLiteral("15900000002"));
}

TEST_F(MainWindowTest, DialogsAreAnnouncedByTheirTitles) {
  auto form = MakeWindow();
  QString announced;
  shell::AnswerNextDialog([&](QDialog& dialog) {
    announced = QAccessible::queryAccessibleInterface(&dialog)->text(QAccessible::Name);
    dialog.reject();
  });
  form->close();
  EXPECT_EQ(announced, QStringLiteral("确认"));
}

}  // namespace
