#pragma once
// The program's dialogs: the plain message box, the error box, the typed
// message dialogs ("警告", "错误", "信息", "确认" with "是[&Y]", "否[&N]", "确定",
// "取消"), the one-line input dialog, and the modal run of any dialog.
//
// Tests answer dialogs in advance: a dialog about to run modally is handed to
// the next queued answerer, which may look at it and must close it (accept,
// reject or click one of its buttons). With answers required, a dialog that
// finds none raises instead of waiting for a user who is not there.

#include <QDialog>
#include <QString>
#include <functional>
#include <initializer_list>
#include <optional>


class QWidget;

namespace shell {

// A message dialog's type, which gives its caption and icon, and its buttons.
enum class DialogKind { Warning, Error, Information, Confirmation };
enum class DialogButton { Yes, No, OK, Cancel };

using DialogAnswerer = std::function<void(QDialog&)>;
void AnswerNextDialog(DialogAnswerer answerer);
void RequireDialogAnswers(bool required);
int PendingDialogAnswers();
void ClearDialogAnswers();
// Titles (and texts) of dialogs that came while answers were required but
// none was queued; taking them empties the list.
QStringList TakeUnansweredDialogs();

// exec(), or the next queued answer.
int RunDialog(QDialog& dialog);

QString DialogKindCaption(DialogKind type);
QString DialogButtonCaption(DialogButton button);

void ShowPlainMessage(QWidget* parent, const QString& text);
void ShowErrorBox(const QString& text);
// The button pressed; nothing when the dialog was closed without one (Esc,
// the close box).
std::optional<DialogButton> ShowTypedQuestion(QWidget* parent, const QString& text, DialogKind type,
                                              std::initializer_list<DialogButton> buttons);
// The button pressed; closed without one, the cancel-like answer.
DialogButton ShowTypedDialog(QWidget* parent, const QString& text,
                                      DialogKind type,
                                      std::initializer_list<DialogButton> buttons);
// False when cancelled; `value` is the initial text and, on OK, the answer.
bool AskForText(QWidget* parent, const QString& caption, const QString& prompt, QString& value);

}  // namespace shell
