// Errors during window creation are shown by the error handler before the
// window first shows; creation then goes on and the window opens.

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>

#include "shell_fixture.h"

namespace {

TEST_F(MainWindowTest, ABadProgressLineIsShownAndTheWindowStillOpens) {
  dir_.Write("mobtrawl.ini", "D:\\kw.txt\r\nabc\r\nqcyes\r\n12\r\n");
  auto error = AnswerMessageBox();
  auto form = MakeWindow();
  EXPECT_EQ(error->title, QStringLiteral("『Kelvane』 V2.6"));
  EXPECT_EQ(error->text, QStringLiteral("'abc' is not a valid integer value."));
  EXPECT_EQ(error->icon, QMessageBox::Critical);
  // Line 1 was applied before the failing line; the rest keep their defaults.
  EXPECT_EQ(Child<QLineEdit>(*form, "KeywordFileEdit")->text(), QStringLiteral("D:\\kw.txt"));
  EXPECT_EQ(form.Run().KeywordIndex(), 0);
  EXPECT_FALSE(Child<QCheckBox>(*form, "DedupeBox")->isChecked());
  EXPECT_EQ(Child<QSpinBox>(*form, "IntervalBox")->value(), 8);
  form->show();
  EXPECT_TRUE(form->isVisible());
}

}  // namespace
