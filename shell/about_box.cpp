#include "shell/about_box.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/jpeg_image.h"
#include "shell/branding.h"
#include "shell/error_handler.h"
#include "shell/hyperlink_label.h"

namespace shell {
namespace {

constexpr QSize kClientSize(272, 190);
constexpr QRect kOkButtonGeometry(207, 156, 50, 25);

// A font by pixel height. The first family is the one the box was designed
// with; Linux desktops rarely have it, so the ones they do have follow.
QFont PixelFont(const QStringList& families, int pixels, bool bold = false) {
  QFont font;
  font.setFamilies(families);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

QFont SongTi12(bool bold = false) {
  return PixelFont({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")},
                   12, bold);
}

void SetTextColor(QWidget& widget, const QColor& color) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::WindowText, color);
  widget.setPalette(palette);
}

QLabel* AddPicture(QWidget* panel, const char* name, QPoint position, const QString& resource) {
  auto* picture = new QLabel(panel);
  picture->setObjectName(QString::fromLatin1(name));
  picture->move(position);
  // A picture that cannot be decoded is reported; the box shows without it.
  Guarded([&] {
    platform::JpegImage jpeg;
    jpeg.LoadFromFile(resource);
    picture->setPixmap(QPixmap::fromImage(jpeg.ToImage()));
    picture->resize(jpeg.Width(), jpeg.Height());  // sizes itself to the picture
  });
  return picture;
}

QLabel* AddLabel(QWidget* panel, const char* name, QPoint position, const QString& caption,
                 const QFont& font) {
  auto* label = new QLabel(caption, panel);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(font);
  SetTextColor(*label, QColor(0, 0, 255));
  label->move(position);
  label->adjustSize();
  return label;
}

HyperlinkLabel* AddLink(QWidget* panel, const char* name, const QPoint& position,
                        const QString& caption, const QString& url) {
  auto* link = new HyperlinkLabel(panel);
  link->setObjectName(QString::fromLatin1(name));
  link->move(position);
  link->SetCaption(caption);
  link->SetUrl(url);
  return link;
}

void BuildPanel(QDialog& form) {
  auto* panel = new QFrame(&form);
  panel->setObjectName(QStringLiteral("Frame"));
  // A box frame drawn sunken: lowered outside, raised inside.
  panel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  auto* fill = new QVBoxLayout(&form);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(panel);

  AddPicture(panel, "ProgramIcon", {20, 8}, QStringLiteral(":/pictures/logo.jpg"))
      ->setAccessibleName(QStringLiteral("Kelvane"));
  AddLabel(panel, "ProductName", {112, 16}, QStringLiteral("Kelvane"), SongTi12(true));
  AddLabel(panel, "Version", {216, 14}, QStringLiteral("Ver 2.6"),
           PixelFont({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")}, 13));
  QLabel* banner = AddPicture(panel, "Banner", {20, 64}, QStringLiteral(":/pictures/banner.jpg"));
  banner->setAlignment(Qt::AlignCenter);
  banner->setAccessibleName(QStringLiteral("Kelvane Software"));

  // Each link is as wide as its caption.
  AddLink(panel, "WebSiteLink", {16, 88}, MakerWebSite(), MakerWebSite());
  AddLink(panel, "HomePageLink", {16, 108}, HomePage(), SecondWebAddress());
  AddLink(panel, "MailLink", {16, 130}, QQContacts(), MailLink());
}

}  // namespace

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("关于本软件"));
  setWindowIcon(ProgramIcon());
  setFont(PixelFont({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif")}, 11));
  // The button face all over, as a dialog of this kind has it.
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  resize(kClientSize);

  BuildPanel(*this);

  // On the form, above the panel.
  auto* okButton = new QPushButton(QStringLiteral("确 定"), this);
  okButton->setObjectName(QStringLiteral("OkButton"));
  okButton->setGeometry(kOkButtonGeometry);
  okButton->setFont(SongTi12());
  okButton->setDefault(true);
  okButton->raise();
  okButton->setFocus();
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  const QScreen* target = parentWidget() ? parentWidget()->screen() : screen();
  if (!target) return;
  const QRect frame = frameGeometry();
  move(target->geometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
}

}  // namespace shell
