#pragma once
// The program's file dialogs over QFileDialog: made with the program's
// filters, run through RunDialog (so tests can answer them), and a save
// dialog that asks before a file is replaced.

#include <QCoreApplication>
#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <optional>

namespace shell {

class FileDialog final : public QFileDialog {
  Q_OBJECT
 public:
  // `filters` as "Caption(patterns);;...". A filter whose pattern is "*.*"
  // keeps its caption but lists every file: the pattern alone would hide
  // names without a dot.
  FileDialog(QWidget* parent, const char* objectName, const QString& title, const QString& filters,
             const QString& directory = {});

  // Runs the dialog; the chosen files as Qt names them, empty when cancelled.
  QStringList ChooseFiles();
  // Runs it as a save dialog that asks before an existing file is replaced;
  // "no" brings the dialog back. The chosen file, or empty when cancelled.
  QString ChooseSaveFile();

 protected:
  // Qt adds the default suffix to every chosen name without a dot, one that
  // exists as it is too, which could then never be opened; such a name is
  // taken as it is.
  void accept() override;

 private:
  QString suspendedSuffix_;
};

// The merge's two questions: the data files to merge, then the file to
// write; each dialog offers the name chosen in it last time. Nothing when
// either is cancelled.
struct MergeChoice {
  QStringList inputs;
  QString output;
};
class MergeDialogs {
  Q_DECLARE_TR_FUNCTIONS(MergeDialogs)

 public:
  std::optional<MergeChoice> Choose(QWidget* parent);

 private:
  QString lastInput_;
  QString lastOutput_;
};

}  // namespace shell
