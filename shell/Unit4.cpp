#include "shell/Unit4.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/gbk_codec.h"
#include "platform/jpeg_image.h"
#include "shell/branding.h"
#include "shell/colors.h"
#include "shell/cwHyperLink.h"
#include "shell/error_handler.h"

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

void SetTextColor(QWidget& widget, TColor color) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::WindowText, ToQColor(color, palette));
  widget.setPalette(palette);
}

QLabel* AddPicture(QWidget* panel, const char* name, QPoint position, const QString& resource) {
  auto* picture = new QLabel(panel);
  picture->setObjectName(QString::fromLatin1(name));
  picture->move(position);
  // A picture that cannot be decoded is reported; the box shows without it.
  Guarded([&] {
    platform::TJPEGImage jpeg;
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
  SetTextColor(*label, clBlue);
  label->move(position);
  label->adjustSize();
  return label;
}

TcwHyperLink* AddLink(QWidget* panel, const char* name, const QRect& designed,
                      const QString& caption, const QString& url) {
  auto* link = new TcwHyperLink(panel);
  link->setObjectName(QString::fromLatin1(name));
  link->setGeometry(designed);
  link->SetColor(clBtnFace);
  link->SetCaption(platform::ToGbk(caption));
  link->SetURL(platform::ToGbk(url));
  return link;
}

void BuildPanel(QDialog& form) {
  auto* panel = new QFrame(&form);
  panel->setObjectName(QStringLiteral("Panel1"));
  // A box frame drawn sunken: lowered outside, raised inside.
  panel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  auto* fill = new QVBoxLayout(&form);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(panel);

  AddPicture(panel, "ProgramIcon", {20, 8}, QStringLiteral(":/pictures/logo.jpg"));
  AddLabel(panel, "ProductName", {112, 16}, QStringLiteral("Kelvane"), SongTi12(true));
  AddLabel(panel, "Version", {216, 14}, QStringLiteral("Ver 2.6"),
           PixelFont({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")}, 13));
  QLabel* banner = AddPicture(panel, "Image1", {20, 64}, QStringLiteral(":/pictures/banner.jpg"));
  banner->setAlignment(Qt::AlignCenter);
  banner->setAccessibleName(QStringLiteral("Kelvane Software"));

  // The designed sizes last until each link first paints and fits its caption.
  AddLink(panel, "cwHyperLink1", {16, 88, 181, 15}, MakerWebSite(), MakerWebSite());
  AddLink(panel, "cwHyperLink3", {16, 108, 130, 15}, HomePage(), SecondWebAddress());
  AddLink(panel, "cwHyperLink2", {16, 130, 177, 15}, QQContacts(), MailLink());
}

}  // namespace

TForm2::TForm2(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("关于本软件"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/kelvane.svg")));
  setFont(PixelFont({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif")}, 11));
  QPalette face = palette();
  face.setColor(QPalette::Window, ToQColor(clBtnFace, face));
  setPalette(face);
  resize(kClientSize);

  BuildPanel(*this);

  // On the form, above the panel.
  auto* okButton = new QPushButton(QStringLiteral("确 定"), this);
  okButton->setObjectName(QStringLiteral("OKButton"));
  okButton->setGeometry(kOkButtonGeometry);
  okButton->setFont(SongTi12());
  okButton->setDefault(true);
  okButton->raise();
  okButton->setFocus();
  connect(okButton, &QPushButton::clicked, this, &TForm2::OKButtonClick);
}

void TForm2::OKButtonClick() {
  accept();
}

void TForm2::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  const QScreen* target = parentWidget() ? parentWidget()->screen() : screen();
  if (!target) return;
  const QRect frame = frameGeometry();
  move(target->geometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
}

}  // namespace shell
