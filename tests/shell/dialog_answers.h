#pragma once
// Answers for the dialogs a test expects, queued before the command runs.
// Each answer records what the dialog showed.

#include <QAbstractButton>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <filesystem>
#include <memory>
#include <ostream>

#include "shell/dialogs.h"

struct ShownDialog {
  QString title;
  QString text;
  QStringList buttons;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString directory;  // file dialogs
};

// A message box: records it and clicks the button whose text is `click`
// (the first one when empty).
inline std::shared_ptr<ShownDialog> AnswerMessageBox(const QString& click = {}) {
  auto shown = std::make_shared<ShownDialog>();
  shell::AnswerNextDialog([shown, click](QDialog& dialog) {
    auto& box = dynamic_cast<QMessageBox&>(dialog);
    shown->title = box.windowTitle();
    shown->text = box.text();
    shown->icon = box.icon();
    for (auto* b : box.buttons()) shown->buttons << b->text();
    for (auto* b : box.buttons()) {
      if (click.isEmpty() || b->text() == click) {
        b->click();
        return;
      }
    }
    box.reject();
  });
  return shown;
}

// An input dialog: records it and answers `text`, or cancels when null.
inline std::shared_ptr<ShownDialog> AnswerInput(const QString& text) {
  auto shown = std::make_shared<ShownDialog>();
  shell::AnswerNextDialog([shown, text](QDialog& dialog) {
    auto& input = dynamic_cast<QInputDialog&>(dialog);
    shown->title = input.windowTitle();
    shown->text = input.textValue();  // the value offered
    shown->buttons << input.labelText();
    if (text.isNull()) {
      input.reject();
    } else {
      input.setTextValue(text);
      input.accept();
    }
  });
  return shown;
}

// A file dialog: records it and chooses `path`, or cancels when empty.
inline std::shared_ptr<ShownDialog> AnswerFile(const QString& path) {
  auto shown = std::make_shared<ShownDialog>();
  shell::AnswerNextDialog([shown, path](QDialog& dialog) {
    auto& files = dynamic_cast<QFileDialog&>(dialog);
    shown->title = files.windowTitle();
    shown->directory = files.directory().absolutePath();
    shown->buttons = files.nameFilters();
    if (path.isEmpty()) {
      files.reject();
    } else {
      files.selectFile(path);
      static_cast<QDialog&>(files).accept();  // checks the choice as a click on Open would
    }
  });
  return shown;
}

// The open dialog answered with several files of a folder.
inline void AnswerWithFiles(const std::filesystem::path& folder, const QStringList& names) {
  shell::AnswerNextDialog([=](QDialog& dialog) {
    auto& files = dynamic_cast<QFileDialog&>(dialog);
    files.setDirectory(QString::fromStdString(folder.string()));
    QStringList quoted;
    for (const auto& name : names) quoted << QLatin1Char('"') + name + QLatin1Char('"');
    files.selectFile(quoted.join(QLatin1Char(' ')));
    static_cast<QDialog&>(files).accept();
  });
}

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
