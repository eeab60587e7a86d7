#include "shell/dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <deque>
#include <memory>
#include <utility>

#include "shell/branding.h"

namespace shell {
namespace {

// The context the dialogs' own words are translated in.
struct DialogTexts {
  Q_DECLARE_TR_FUNCTIONS(Dialogs)
};

std::deque<DialogAnswerer>& Answers() {
  static std::deque<DialogAnswerer> answers;
  return answers;
}
bool answersRequired = false;
QStringList& Unanswered() {
  static QStringList unanswered;
  return unanswered;
}

QMessageBox::Icon IconOf(DialogKind type) {
  switch (type) {
    case DialogKind::Warning:
      return QMessageBox::Warning;
    case DialogKind::Error:
      return QMessageBox::Critical;
    case DialogKind::Information:
      return QMessageBox::Information;
    case DialogKind::Confirmation:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::ButtonRole RoleOf(DialogButton button) {
  switch (button) {
    case DialogButton::Yes:
      return QMessageBox::YesRole;
    case DialogButton::No:
      return QMessageBox::NoRole;
    case DialogButton::OK:
      return QMessageBox::AcceptRole;
    case DialogButton::Cancel:
      return QMessageBox::RejectRole;
  }
  return QMessageBox::InvalidRole;
}

// A box with `caption` and one "确定" button.
QMessageBox* MakeOkBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                       const QString& text) {
  auto* box = new QMessageBox(icon, caption, text, QMessageBox::NoButton, parent);
  box->setDefaultButton(box->addButton(DialogTexts::tr("确定"), QMessageBox::AcceptRole));
  return box;
}

// Opened, and gone once closed.
void OpenOkBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
               const QString& text) {
  QMessageBox* box = MakeOkBox(parent, icon, caption, text);
  OpenDialog(*box, [box] { box->deleteLater(); });
}

}  // namespace

void AnswerNextDialog(DialogAnswerer answerer) {
  Answers().push_back(std::move(answerer));
}
void RequireDialogAnswers(bool required) {
  answersRequired = required;
}
int PendingDialogAnswers() {
  return static_cast<int>(Answers().size());
}
void ClearDialogAnswers() {
  Answers().clear();
}
QStringList TakeUnansweredDialogs() {
  return std::exchange(Unanswered(), {});
}

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

void OpenDialog(QDialog& dialog, std::function<void()> done) {
  if (!Answers().empty() || answersRequired) {
    RunDialog(dialog);  // answered now, or recorded as unanswered
    if (done) done();
    return;
  }
  if (done) {
    QObject::connect(
        &dialog, &QDialog::finished, &dialog, [done = std::move(done)] { done(); },
        Qt::SingleShotConnection);
  }
  dialog.open();
}

QString DialogKindCaption(DialogKind type) {
  switch (type) {
    case DialogKind::Warning:
      return DialogTexts::tr("警告");
    case DialogKind::Error:
      return DialogTexts::tr("错误");
    case DialogKind::Information:
      return DialogTexts::tr("信息");
    case DialogKind::Confirmation:
      return DialogTexts::tr("确认");
  }
  return {};
}

QString DialogButtonCaption(DialogButton button) {
  switch (button) {
    case DialogButton::Yes:
      return DialogTexts::tr("是[&Y]");
    case DialogButton::No:
      return DialogTexts::tr("否[&N]");
    case DialogButton::OK:
      return DialogTexts::tr("确定");
    case DialogButton::Cancel:
      return DialogTexts::tr("取消");
  }
  return {};
}

void OpenPlainMessage(QWidget* parent, const QString& text) {
  OpenOkBox(parent, QMessageBox::NoIcon, AppTitle(), text);
}

void OpenErrorBox(const QString& text) {
  OpenOkBox(QApplication::activeWindow(), QMessageBox::Critical, AppTitle(), text);
}

void OpenTypedMessage(QWidget* parent, const QString& text, DialogKind type) {
  OpenOkBox(parent, IconOf(type), DialogKindCaption(type), text);
}

std::optional<DialogButton> ShowTypedQuestion(QWidget* parent, const QString& text, DialogKind type,
                                              std::initializer_list<DialogButton> buttons) {
  QMessageBox box(IconOf(type), DialogKindCaption(type), text, QMessageBox::NoButton, parent);
  std::vector<std::pair<QAbstractButton*, DialogButton>> made;
  for (const auto button : buttons)
    made.emplace_back(box.addButton(DialogButtonCaption(button), RoleOf(button)), button);
  if (!made.empty()) box.setDefaultButton(qobject_cast<QPushButton*>(made.front().first));
  RunDialog(box);
  for (const auto& [widget, button] : made) {
    if (box.clickedButton() == widget) return button;
  }
  return {};
}

DialogButton ShowTypedDialog(QWidget* parent, const QString& text, DialogKind type,
                             std::initializer_list<DialogButton> buttons) {
  if (const auto pressed = ShowTypedQuestion(parent, text, type, buttons)) return *pressed;
  // Closed without a button (Esc, the close box): the cancel-like answer.
  for (const auto button : buttons) {
    if (button == DialogButton::Cancel || button == DialogButton::No) return button;
  }
  return buttons.size() == 1 ? *buttons.begin() : DialogButton::Cancel;
}

namespace {

QInputDialog* MakeInputDialog(QWidget* parent, const QString& caption, const QString& prompt,
                              const QString& value) {
  auto* dialog = new QInputDialog(parent);
  dialog->setWindowTitle(caption);
  dialog->setLabelText(prompt);
  dialog->setTextValue(value);
  dialog->setOkButtonText(DialogTexts::tr("确定"));
  dialog->setCancelButtonText(DialogTexts::tr("取消"));
  return dialog;
}

}  // namespace

void AskForTextLater(QWidget* parent, const QString& caption, const QString& prompt,
                     const QString& value, std::function<void(std::optional<QString>)> answer) {
  QInputDialog* dialog = MakeInputDialog(parent, caption, prompt, value);
  OpenDialog(*dialog, [dialog, answer = std::move(answer)] {
    dialog->deleteLater();
    answer(dialog->result() == QDialog::Accepted ? std::optional(dialog->textValue())
                                                 : std::nullopt);
  });
}

}  // namespace shell
