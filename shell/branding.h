#pragma once
// The product's own values: its title and the maker's (invented) addresses
// and numbers.

#include <QCoreApplication>
#include <QIcon>
#include <QString>

namespace shell {

// The context the product's own words are translated in.
struct BrandingTexts {
  Q_DECLARE_TR_FUNCTIONS(Branding)
};

inline QString AppTitle() { return BrandingTexts::tr("『Kelvane』 V2.6"); }

// The program icon's name in the icon theme; the package installs it in
// hicolor, which every theme falls back to.
inline QString IconName() { return QStringLiteral("com.example.kelvane"); }
// The program icon, from the theme by name, so that a StatusNotifier host
// gets the name and draws it crisp at its own size; the built-in picture
// where no theme has it (a build that is not installed).
inline QIcon ProgramIcon() {
  return QIcon::fromTheme(IconName(), QIcon(QStringLiteral(":/icons/kelvane.svg")));
}

inline QString HomePage() { return QStringLiteral("http://kelvane.example.com/"); }
inline QString Telephone() { return QStringLiteral("010-12345678"); }
inline QString MailLink() { return QStringLiteral("mailto:support@kelvane.example.com"); }

// The status line at start.
inline QString ContactLine() { return BrandingTexts::tr("欢迎使用Kelvane！联系电话：%1").arg(Telephone()); }

// The title, the home page and the telephone number.
inline QString MainCaption() {
  return BrandingTexts::tr("%1  —主页: %2 电话: %3").arg(AppTitle(), HomePage(), Telephone());
}

// The About box's links. The web site is shown as its own address; the
// home-page link shows HomePage() but leads to the second address; the mail
// link (MailLink()) is captioned with the two QQ numbers.
inline QString MakerWebSite() { return QStringLiteral("http://soft.kelvane.example.com/"); }
inline QString SecondWebAddress() { return QStringLiteral("http://bbs.kelvane.example.com/"); }
inline QString QQContacts() { return QStringLiteral("QQ:12345678  QQ:87654321"); }

}  // namespace shell
