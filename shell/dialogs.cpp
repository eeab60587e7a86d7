#include "shell/dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <deque>
#include <utility>

#include "shell/branding.h"

namespace shell {
namespace {

std::deque<DialogAnswerer>& Answers() {
  static std::deque<DialogAnswerer> answers;
  return answers;
}
bool answersRequired = false;
QStringList& Unanswered() {
  static QStringList unanswered;
  return unanswered;
}

QMessageBox::Icon IconOf(harvest::DialogKind type) {
  switch (type) {
    case harvest::DialogKind::Warning:
      return QMessageBox::Warning;
    case harvest::DialogKind::Error:
      return QMessageBox::Critical;
    case harvest::DialogKind::Information:
      return QMessageBox::Information;
    case harvest::DialogKind::Confirmation:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::ButtonRole RoleOf(harvest::DialogButton button) {
  switch (button) {
    case harvest::DialogButton::Yes:
      return QMessageBox::YesRole;
    case harvest::DialogButton::No:
      return QMessageBox::NoRole;
    case harvest::DialogButton::OK:
      return QMessageBox::AcceptRole;
    case harvest::DialogButton::Cancel:
      return QMessageBox::RejectRole;
  }
  return QMessageBox::InvalidRole;
}

// A box with the application title and one "确定" button.
void ShowTitledBox(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, AppTitle(), text, QMessageBox::NoButton, parent);
  box.setDefaultButton(box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole));
  RunDialog(box);
}

}  // namespace

void AnswerNextDialog(DialogAnswerer answerer) { Answers().push_back(std::move(answerer)); }
void RequireDialogAnswers(bool required) { answersRequired = required; }
int PendingDialogAnswers() { return static_cast<int>(Answers().size()); }
void ClearDialogAnswers() { Answers().clear(); }
QStringList TakeUnansweredDialogs() { return std::exchange(Unanswered(), {}); }

int RunDialog(QDialog& dialog) {
  if (Answers().empty()) {
    if (answersRequired) {
      const auto* box = qobject_cast<QMessageBox*>(&dialog);
      Unanswered() << dialog.windowTitle() + (box ? QStringLiteral(": ") + box->text() : QString());
      dialog.setResult(QDialog::Rejected);
      return QDialog::Rejected;
    }
    return dialog.exec();
  }
  const DialogAnswerer answer = std::move(Answers().front());
  Answers().pop_front();
  dialog.setResult(-1);
  answer(dialog);
  return dialog.result();
}

QString DialogKindCaption(harvest::DialogKind type) {
  switch (type) {
    case harvest::DialogKind::Warning:
      return QStringLiteral("警告");
    case harvest::DialogKind::Error:
      return QStringLiteral("错误");
    case harvest::DialogKind::Information:
      return QStringLiteral("信息");
    case harvest::DialogKind::Confirmation:
      return QStringLiteral("确认");
  }
  return {};
}

QString DialogButtonCaption(harvest::DialogButton button) {
  switch (button) {
    case harvest::DialogButton::Yes:
      return QStringLiteral("是[&Y]");
    case harvest::DialogButton::No:
      return QStringLiteral("否[&N]");
    case harvest::DialogButton::OK:
      return QStringLiteral("确定");
    case harvest::DialogButton::Cancel:
      return QStringLiteral("取消");
  }
  return {};
}

void ShowPlainMessage(QWidget* parent, const QString& text) {
  ShowTitledBox(parent, QMessageBox::NoIcon, text);
}

void ShowErrorBox(const QString& text) {
  ShowTitledBox(QApplication::activeWindow(), QMessageBox::Critical, text);
}

harvest::DialogButton ShowTypedDialog(QWidget* parent, const QString& text,
                                      harvest::DialogKind type,
                                      std::initializer_list<harvest::DialogButton> buttons) {
  QMessageBox box(IconOf(type), DialogKindCaption(type), text, QMessageBox::NoButton, parent);
  std::vector<std::pair<QAbstractButton*, harvest::DialogButton>> made;
  for (const auto button : buttons)
    made.emplace_back(box.addButton(DialogButtonCaption(button), RoleOf(button)), button);
  if (!made.empty()) box.setDefaultButton(qobject_cast<QPushButton*>(made.front().first));
  RunDialog(box);
  for (const auto& [widget, button] : made) {
    if (box.clickedButton() == widget) return button;
  }
  // Closed without a button (Esc, the close box): the cancel-like answer.
  for (const auto button : buttons) {
    if (button == harvest::DialogButton::Cancel || button == harvest::DialogButton::No)
      return button;
  }
  return buttons.size() == 1 ? *buttons.begin() : harvest::DialogButton::Cancel;
}

bool AskForText(QWidget* parent, const QString& caption, const QString& prompt, QString& value) {
  QInputDialog dialog(parent);
  dialog.setWindowTitle(caption);
  dialog.setLabelText(prompt);
  dialog.setTextValue(value);
  dialog.setOkButtonText(QStringLiteral("确定"));
  dialog.setCancelButtonText(QStringLiteral("取消"));
  if (RunDialog(dialog) != QDialog::Accepted) return false;
  value = dialog.textValue();
  return true;
}

}  // namespace shell
