#include "shell/settings_bar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include "session/search_session.h"

namespace shell {

SettingsBar::SettingsBar(session::SearchSession& searchSession, QWidget* parent)
    : QWidget(parent),
      intervalBox_(new QSpinBox(this)),
      dedupeBox_(new QCheckBox(tr("去重"), this)),
      keywordFileEdit_(new QLineEdit(this)) {
  setObjectName(QStringLiteral("SettingsBar"));
  auto* intervalLabel = new QLabel(tr("搜索间隔[秒]："), this);
  intervalBox_->setObjectName(QStringLiteral("IntervalBox"));
  intervalBox_->setRange(session::SearchSession::kMinInterval,
                         session::SearchSession::kMaxInterval);
  intervalBox_->setAccessibleName(tr("搜索间隔[秒]"));
  intervalLabel->setBuddy(intervalBox_);
  dedupeBox_->setObjectName(QStringLiteral("DedupeBox"));
  dedupeBox_->setLayoutDirection(Qt::RightToLeft);  // the caption on the box's left
  auto* fileLabel = new QLabel(tr("搜索文件："), this);
  keywordFileEdit_->setObjectName(QStringLiteral("KeywordFileEdit"));
  keywordFileEdit_->setReadOnly(true);
  keywordFileEdit_->setAccessibleName(tr("搜索文件"));
  fileLabel->setBuddy(keywordFileEdit_);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 2, 4, 2);
  row->addWidget(intervalLabel);
  row->addWidget(intervalBox_);
  row->addWidget(dedupeBox_);
  row->addWidget(fileLabel);
  row->addWidget(keywordFileEdit_, 1);

  // The session's values shown, the user's taken.
  session::SearchSession* s = &searchSession;
  keywordFileEdit_->setText(s->KeywordFile());
  connect(s, &session::SearchSession::KeywordFileChanged, keywordFileEdit_, &QLineEdit::setText);
  dedupeBox_->setChecked(s->Deduplicate());
  connect(s, &session::SearchSession::DeduplicateChanged, dedupeBox_, &QCheckBox::setChecked);
  connect(dedupeBox_, &QCheckBox::toggled, s, &session::SearchSession::SetDeduplicate);
  intervalBox_->setValue(s->IntervalTextShown().toInt());
  connect(s, &session::SearchSession::IntervalTextChanged, this, [this](const QString& text) {
    if (text != intervalBox_->text()) intervalBox_->setValue(text.toInt());
  });
  // The text as it stands: the spin box reports the values it takes, its
  // editor what is typed before it takes it (the run and the progress file
  // read what the field shows).
  connect(intervalBox_, &QSpinBox::textChanged, s, &session::SearchSession::SetIntervalText);
  connect(intervalBox_->findChild<QLineEdit*>(), &QLineEdit::textChanged, s,
          &session::SearchSession::SetIntervalText);
}

}  // namespace shell
