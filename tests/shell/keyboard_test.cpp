// The window by keyboard: every toolbar command's shortcut does what its
// button does, enabled as the button is; Return presses a focused button;
// a click on a button leaves the focus where it was.

#include <QAction>
#include <QSpinBox>
#include <QStyleOption>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "../harvest/gbk.h"
#include "qt_test_helpers.h"
#include "shell_fixture.h"

namespace {

// The next dialog: its title is recorded, and it is closed unanswered.
std::shared_ptr<QString> CloseNextDialog() {
  auto title = std::make_shared<QString>();
  shell::AnswerNextDialog([title](QDialog& dialog) {
    *title = dialog.windowTitle();
    dialog.reject();
  });
  return title;
}

class KeyboardTest : public MainWindowTest {
 protected:
  Program ShownForm() {
    auto form = MakeWindow();
    form->show();
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    return form;
  }
  static void Press(QWidget& window, const QKeySequence& key) {
    QTest::keySequence(&window, key);
    Settle();
  }
};

TEST_F(KeyboardTest, EachShortcutDoesWhatItsButtonDoes) {
  struct Case {
    const char* what;
    QKeySequence key;
    const char* dialogTitle;  // the dialog the command opens
  };
  const Case cases[] = {
      {"import", Qt::CTRL | Qt::Key_O, "导入关键字列表文件"},
      {"search without keywords: the error box", Qt::Key_F5, "『Kelvane』 V2.6"},
      {"save results", Qt::CTRL | Qt::Key_S, "搜索结果保存为"},
      {"save progress: its message", Qt::CTRL | Qt::SHIFT | Qt::Key_S, "『Kelvane』 V2.6"},
      {"merge", Qt::CTRL | Qt::Key_M, "选择待合并的数据文件"},
      {"about", Qt::Key_F1, "关于本软件"},
      {"exit: the close question", Qt::CTRL | Qt::Key_Q, "确认"},
  };
  auto form = ShownForm();
  QDialog about;
  form->SetAboutBox(&about);
  about.setWindowTitle(QStringLiteral("关于本软件"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto title = CloseNextDialog();
    Press(*form, c.key);
    EXPECT_EQ(*title, QString::fromUtf8(c.dialogTitle));
  }
  UrlRecorder recorder;
  Press(*form, Qt::ALT | Qt::Key_Home);
  ASSERT_EQ(recorder.opened.size(), 1);
  EXPECT_EQ(recorder.opened[0].host(), QStringLiteral("kelvane.example.com"));
}

TEST_F(KeyboardTest, ShortcutsAreDisabledWhenTheirButtonsAre) {
  auto form = ShownForm();
  form.Run().KeywordList() = {"k"};
  AnswerInput(QStringLiteral("0"));
  Press(*form, Qt::Key_F5);
  ASSERT_EQ(browser_->navigated.size(), 1u) << "F5 did not start the run";
  // Running: Search and Import do nothing (no prompt, no file dialog).
  Press(*form, Qt::Key_F5);
  Press(*form, Qt::CTRL | Qt::Key_O);
  EXPECT_EQ(shell::TakeUnansweredDialogs(), QStringList());
  EXPECT_EQ(browser_->navigated.size(), 1u);
  // Esc stops; once the run has finished, it does nothing more.
  Press(*form, Qt::Key_Escape);
  EXPECT_EQ(Panel(*form, "StatusLine"), QStringLiteral("终止搜索..."));
  TickAndRead(form);
  EXPECT_TRUE(RunEndTold(form));
  Press(*form, Qt::Key_Escape);
  EXPECT_EQ(Panel(*form, "StatusLine"), QStringLiteral("搜索已经结束!"));
}

TEST_F(KeyboardTest, ReturnPressesAFocusedButtonAndAClickTakesNoFocus) {
  auto form = ShownForm();
  QDialog about;
  form->SetAboutBox(&about);
  about.setWindowTitle(QStringLiteral("关于本软件"));
  // The keypad's Enter comes with the keypad's modifier.
  const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
      {Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier}, {Qt::Key_Space, Qt::NoModifier}};
  for (const auto& [key, modifiers] : keys) {
    SCOPED_TRACE(key);
    auto* button = Child<QToolButton>(*form, "AboutButton");
    button->setFocus(Qt::TabFocusReason);
    auto title = CloseNextDialog();
    QTest::keyClick(button, key, modifiers);
    ASSERT_TRUE(WaitFor([&] { return !title->isEmpty(); })) << "the button was not pressed";
    EXPECT_EQ(*title, QStringLiteral("关于本软件"));
  }

  // A click leaves the focus, and a value typed, in the interval field.
  auto* interval = Child<QSpinBox>(*form, "IntervalBox");
  interval->setFocus(Qt::OtherFocusReason);
  interval->selectAll();
  QTest::keyClicks(interval, "37");
  AnswerMessageBox();  // "已经保存当前手机号码搜索进程！"
  QTest::mouseClick(Child<QToolButton>(*form, "SaveProgressButton"), Qt::LeftButton);
  Settle();
  EXPECT_TRUE(interval->hasFocus());
  EXPECT_NE(dir_.Read("mobtrawl.ini").find("\r\n37\r\n"), std::string::npos)
      << dir_.Read("mobtrawl.ini");
}

TEST_F(KeyboardTest, FocusShowsFromTheFirstMomentAndTheListHasACurrentRow) {
  auto form = ShownForm();
  QWidget* focused = QApplication::focusWidget();
  ASSERT_NE(focused, nullptr) << "nothing has the keyboard focus";
  // Styles draw a focus frame only with this state set.
  QStyleOption option;
  option.initFrom(focused);
  EXPECT_TRUE(option.state & QStyle::State_KeyboardFocusChange);
  EXPECT_TRUE(option.state & QStyle::State_HasFocus);

  auto* list = Child<QTreeView>(*form, "ResultList");
  form.Run().KeywordList() = {"k"};
  AnswerInput(QStringLiteral("0"));
  form.Session().StartSearch();
  EXPECT_FALSE(list->currentIndex().isValid());
  browser_->pages[browser_->navigated.back()] =
      "15900000001\r\n15900000002\r\n1 2 " + Gbk("下一页>");
  TickAndRead(form);
  EXPECT_EQ(list->currentIndex().row(), 0);
  // The user's choice stays as rows come.
  list->setCurrentIndex(list->model()->index(1, 0));
  browser_->pages[browser_->navigated.back()] = "15900000003";
  TickAndRead(form);
  EXPECT_EQ(list->currentIndex().row(), 1);
}

}  // namespace
