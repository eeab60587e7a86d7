#include "shell/about_box.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "platform/jpeg_image.h"
#include "shell/branding.h"
#include "shell/error_handler.h"
#include "shell/hyperlink_label.h"

namespace shell {
namespace {

const QColor kTextColor(0, 0, 255);

// A picture decoded from `file`; one that cannot be decoded is reported and
// the label stays empty, so the box still opens.
QLabel* Picture(const char* name, const QString& file, const QString& description) {
  auto* picture = new QLabel;
  picture->setObjectName(QString::fromLatin1(name));
  picture->setAccessibleName(description);
  Guarded([&] {
    platform::JpegImage jpeg;
    jpeg.LoadFromFile(file);
    picture->setPixmap(QPixmap::fromImage(jpeg.ToImage()));
  });
  return picture;
}

QLabel* BlueText(const char* name, const QString& text, bool bold = false) {
  auto* label = new QLabel(text);
  label->setObjectName(QString::fromLatin1(name));
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, kTextColor);
  label->setPalette(palette);
  QFont font = label->font();
  font.setBold(bold);
  label->setFont(font);
  return label;
}

HyperlinkLabel* Link(const char* name, const QString& text, const QString& url) {
  auto* link = new HyperlinkLabel(text, url);
  link->setObjectName(QString::fromLatin1(name));
  return link;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent, const AboutPictures& pictures)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(tr("关于本软件"));
  setWindowIcon(ProgramIcon());

  // The logo, then the name, and the version at the right edge.
  auto* heading = new QHBoxLayout;
  heading->addWidget(Picture("ProgramIcon", pictures.logo, QStringLiteral("Kelvane")));
  heading->addWidget(BlueText("ProductName", QStringLiteral("Kelvane"), true));
  heading->addStretch();
  heading->addWidget(BlueText("Version", QStringLiteral("Ver 2.6")));

  QLabel* banner = Picture("Banner", pictures.banner, QStringLiteral("Kelvane Software"));
  banner->setAlignment(Qt::AlignCenter);

  auto* buttons = new QDialogButtonBox;
  QPushButton* ok = buttons->addButton(tr("确 定"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("OkButton"));
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* column = new QVBoxLayout(this);
  column->addLayout(heading);
  column->addWidget(banner);
  // Each link as wide as its text, so only the text reacts to the mouse.
  column->addWidget(Link("WebSiteLink", MakerWebSite(), MakerWebSite()), 0, Qt::AlignLeft);
  column->addWidget(Link("HomePageLink", HomePage(), SecondWebAddress()), 0, Qt::AlignLeft);
  column->addWidget(Link("MailLink", QQContacts(), MailLink()), 0, Qt::AlignLeft);
  column->addStretch();
  column->addWidget(buttons);
  ok->setFocus();
}

void AboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  const QScreen* target = parentWidget() ? parentWidget()->screen() : screen();
  if (!target) return;
  QRect frame = frameGeometry();
  frame.moveCenter(target->availableGeometry().center());
  move(frame.topLeft());
}

}  // namespace shell
