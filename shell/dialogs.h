#pragma once
// The program's dialogs: the plain message box, the error box, the typed
// message dialogs ("警告", "错误", "信息", "确认" with "是[&Y]", "否[&N]", "确定",
// "取消"), the one-line input dialog; run modally where a command needs the
// answer first (RunDialog), or opened without a loop of their own
// (OpenDialog) where the program only tells, or a run may be under way.
//
// Tests answer dialogs in advance: a dialog about to run or open is handed to
// the next queued answerer, which may look at it and must close it (accept,
// reject or click one of its buttons). With answers required, a dialog that
// finds none is recorded and closed instead of waiting for a user who is not
// there.

#include <QDialog>
#include <QMessageBox>
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
// Shows `dialog` and returns at once (open(): no loop of its own), or hands
// it to the next queued answer; `done` runs once it is closed, either way.
void OpenDialog(QDialog& dialog, std::function<void()> done = {});

QString DialogKindCaption(DialogKind type);
QString DialogButtonCaption(DialogButton button);

// The boxes the program tells with, opened without waiting for them to
// close: a run or a merge may be under way.
void OpenPlainMessage(QWidget* parent, const QString& text);
void OpenErrorBox(const QString& text);
void OpenTypedMessage(QWidget* parent, const QString& text, DialogKind type);
// The button pressed; nothing when the dialog was closed without one (Esc,
// the close box).
std::optional<DialogButton> ShowTypedQuestion(QWidget* parent, const QString& text, DialogKind type,
                                              std::initializer_list<DialogButton> buttons);
// The button pressed; closed without one, the cancel-like answer.
DialogButton ShowTypedDialog(QWidget* parent, const QString& text, DialogKind type,
                             std::initializer_list<DialogButton> buttons);
// The one-line input dialog, opened without waiting: `answer` gets the text,
// or nothing when cancelled.
void AskForTextLater(QWidget* parent, const QString& caption, const QString& prompt,
                     const QString& value, std::function<void(std::optional<QString>)> answer);

}  // namespace shell
