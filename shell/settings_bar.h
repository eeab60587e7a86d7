#pragma once
// The settings bar: the page interval, the de-duplication box and the
// keyword file's path, bound both ways to the search session's settings.

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace session {
class SearchSession;
}

namespace shell {

class SettingsBar final : public QWidget {
  Q_OBJECT
 public:
  explicit SettingsBar(session::SearchSession& searchSession, QWidget* parent = nullptr);

 private:
  QSpinBox* intervalBox_;
  QCheckBox* dedupeBox_;
  QLineEdit* keywordFileEdit_;
};

}  // namespace shell
