#pragma once
// The product's own values: its title and the maker's (invented) addresses
// and numbers.

#include <QString>

namespace shell {

inline QString AppTitle() { return QStringLiteral("『Kelvane』 V2.6"); }

inline QString HomePage() { return QStringLiteral("http://kelvane.example.com/"); }
inline QString Telephone() { return QStringLiteral("010-12345678"); }
inline QString MailLink() { return QStringLiteral("mailto:support@kelvane.example.com"); }

// Status panel 6 at start.
inline QString ContactLine() { return QStringLiteral("欢迎使用Kelvane！联系电话：010-12345678"); }

// "『Kelvane』 V2.6  —主页: <home page> 电话: <telephone>"
inline QString MainCaption() {
  return AppTitle() + QStringLiteral("  —主页: ") + HomePage() + QStringLiteral(" 电话: ") + Telephone();
}

// The About box's links. The web site is shown as its own address; the
// home-page link shows HomePage() but leads to the second address; the mail
// link (MailLink()) is captioned with the two QQ numbers.
inline QString MakerWebSite() { return QStringLiteral("http://soft.kelvane.example.com/"); }
inline QString SecondWebAddress() { return QStringLiteral("http://bbs.kelvane.example.com/"); }
inline QString QQContacts() { return QStringLiteral("QQ:12345678  QQ:87654321"); }

}  // namespace shell
