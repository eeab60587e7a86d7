#include "shell/file_dialogs.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFileSystemModel>
#include <filesystem>
#include <utility>

#include "platform/file_names.h"
#include "shell/dialogs.h"

namespace shell {
namespace {

bool MatchesOnlyNamesWithADot(const QString& filter) {
  return filter.endsWith(QStringLiteral("(*.*)"));
}

bool Exists(const QString& name) {
  return std::filesystem::exists(platform::ToFilePath(name).native);
}

}  // namespace

FileDialog::FileDialog(QWidget* parent, const char* objectName, const QString& title,
                       const QString& filters, const QString& directory)
    : QFileDialog(parent, title, directory, filters) {
  setObjectName(QString::fromLatin1(objectName));
  // The dialog applies a chosen filter's patterns to its list first, then
  // reports the choice; the list then takes every file instead.
  connect(this, &QFileDialog::filterSelected, this, [this](const QString& filter) {
    if (!MatchesOnlyNamesWithADot(filter)) return;
    if (auto* files = findChild<QFileSystemModel*>()) files->setNameFilters({QStringLiteral("*")});
  });
}

void FileDialog::accept() {
  const QString suffix = defaultSuffix();
  bool suffixHidesAFile = false;
  if (!suffix.isEmpty() && acceptMode() == AcceptOpen) {
    for (const QString& name : selectedFiles()) {
      const QString asGiven = name.chopped(suffix.size() + 1);
      if (name.endsWith(QLatin1Char('.') + suffix) && !Exists(name) && Exists(asGiven))
        suffixHidesAFile = true;
    }
  }
  if (suffixHidesAFile) {
    suspendedSuffix_ = suffix;  // until the choice has been read
    setDefaultSuffix({});
  }
  QFileDialog::accept();
}

QStringList FileDialog::ChooseFiles() {
  const bool accepted = RunDialog(*this) == QDialog::Accepted;
  const QStringList chosen = accepted ? selectedFiles() : QStringList();
  if (!suspendedSuffix_.isEmpty()) setDefaultSuffix(std::exchange(suspendedSuffix_, {}));
  return chosen;
}

QString FileDialog::ChooseSaveFile() {
  setAcceptMode(QFileDialog::AcceptSave);
  setOption(QFileDialog::DontConfirmOverwrite);
  for (;;) {
    const QString chosen = ChooseFiles().value(0);
    // Asked of the file system by the bytes that will be written, which for
    // a name Qt cannot decode are not Qt's.
    if (chosen.isEmpty() || !Exists(chosen)) return chosen;
    const QString question =
        QCoreApplication::translate("QFileDialog", "%1 already exists.\nDo you want to replace it?")
            .arg(QFileInfo(chosen).fileName());
    if (ShowTypedDialog(this, question, DialogKind::Warning,
                        {DialogButton::Yes, DialogButton::No}) ==
        DialogButton::Yes) {
      return chosen;
    }
    selectFile(chosen);
  }
}

std::optional<MergeChoice> MergeDialogs::Choose(QWidget* parent) {
  const QString filters = tr("文本文件(*.txt);;所有文件(*.*)");
  FileDialog openDialog(parent, "MergeInputsDialog", tr("选择待合并的数据文件"), filters);
  openDialog.setFileMode(QFileDialog::ExistingFiles);
  openDialog.setDefaultSuffix(QStringLiteral("txt"));
  if (!lastInput_.isEmpty()) openDialog.selectFile(lastInput_);
  MergeChoice choice;
  choice.inputs = openDialog.ChooseFiles();
  if (choice.inputs.isEmpty()) return {};
  lastInput_ = choice.inputs.value(0);

  FileDialog saveDialog(parent, "MergeOutputDialog", tr("合并后的数据文件保存为"), filters);
  saveDialog.setDefaultSuffix(QStringLiteral("txt"));
  if (!lastOutput_.isEmpty()) saveDialog.selectFile(lastOutput_);
  choice.output = saveDialog.ChooseSaveFile();
  if (choice.output.isEmpty()) return {};
  lastOutput_ = choice.output;
  return choice;
}

}  // namespace shell
