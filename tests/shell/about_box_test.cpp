// The About box: what it shows, that it fits a small screen, how it opens and
// closes, alone and through the main window's About command.

#include "shell/about_box.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "qt_test_helpers.h"
#include "shell/branding.h"
#include "shell/hyperlink_label.h"
#include "shell_fixture.h"

namespace {

using shell::AboutBox;
using shell::HyperlinkLabel;

class AboutBoxTest : public MainWindowTest {
 protected:
  UrlRecorder recorder_;
};

struct LinkShown {
  const char* name;
  QString text;
  QString url;
};

const LinkShown kLinks[] = {
    {"WebSiteLink", shell::MakerWebSite(), shell::MakerWebSite()},
    {"HomePageLink", shell::HomePage(), shell::SecondWebAddress()},
    {"MailLink", shell::QQContacts(), shell::MailLink()},
};

TEST_F(AboutBoxTest, ShowsThePicturesNameVersionLinksAndADefaultOk) {
  AboutBox box;
  box.show();
  Settle();
  EXPECT_EQ(box.windowTitle(), AboutBox::tr("关于本软件"));
  EXPECT_FALSE(box.windowIcon().isNull());
  const Qt::WindowFlags flags = box.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint && flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint));

  const std::tuple<const char*, QSize, const char*> pictures[] = {
      {"ProgramIcon", {66, 46}, "Kelvane"}, {"Banner", {188, 18}, "Kelvane Software"}};
  for (const auto& [name, size, description] : pictures) {
    auto* picture = Child<QLabel>(box, name);
    EXPECT_EQ(picture->pixmap().size(), size) << name;
    EXPECT_EQ(QAccessible::queryAccessibleInterface(picture)->text(QAccessible::Name),
              QString::fromLatin1(description));
  }
  auto* banner = Child<QLabel>(box, "Banner");
  EXPECT_TRUE(banner->alignment() & Qt::AlignHCenter);
  EXPECT_LE(std::abs(banner->geometry().center().x() - box.rect().center().x()), 1);

  for (const auto& [name, text, bold] :
       {std::tuple{"ProductName", "Kelvane", true}, {"Version", "Ver 2.6", false}}) {
    auto* label = Child<QLabel>(box, name);
    EXPECT_EQ(label->text(), QString::fromLatin1(text));
    EXPECT_EQ(label->font().bold(), bold) << name;
    EXPECT_EQ(label->palette().color(label->foregroundRole()), QColor(0, 0, 255)) << name;
  }
  for (const LinkShown& shown : kLinks) {
    auto* link = Child<HyperlinkLabel>(box, shown.name);
    EXPECT_EQ(link->text(), shown.text);
    EXPECT_EQ(link->url(), shown.url);
    EXPECT_EQ(link->size(), link->sizeHint()) << shown.name;
    EXPECT_TRUE(box.rect().contains(link->geometry())) << shown.name;
  }
  auto* ok = Child<QPushButton>(box, "OkButton");
  EXPECT_EQ(ok->text(), AboutBox::tr("确 定"));
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(box.focusWidget(), ok);
}

TEST_F(AboutBoxTest, FitsA1280By800ScreenAtTwiceTheScaleWithItsFrame) {
  const QRect screen(0, 0, 640, 400);  // 1280 x 800 at twice the scale
  const QMargins frame(8, 40, 8, 8);   // a heavy title bar and borders
  for (const qreal fontScale : {1.0, 2.0}) {
    AboutBox box;
    QFont font = box.font();
    font.setPointSizeF(font.pointSizeF() * fontScale);
    box.setFont(font);
    box.show();
    Settle();
    SCOPED_TRACE(fontScale);
    EXPECT_EQ(box.size(), box.sizeHint()) << "sized from what it shows";
    const QSize framed = box.sizeHint().grownBy(frame);
    EXPECT_TRUE(framed.width() <= screen.width() && framed.height() <= screen.height())
        << framed.width() << "x" << framed.height();
    for (const LinkShown& shown : kLinks)
      EXPECT_EQ(Child<QWidget>(box, shown.name)->font().pointSizeF(), font.pointSizeF());
  }
}

TEST_F(AboutBoxTest, APictureThatCannotBeDecodedIsReportedAndTheBoxOpensWithoutIt) {
  dir_.Write("damaged.jpg", "\xFF\xD8\xFF\xE0 not a picture");
  auto error = AnswerMessageBox();
  AboutBox box(nullptr, {QString::fromStdString((dir_.Path() / "damaged.jpg").string())});
  EXPECT_EQ(error->title, shell::AppTitle());
  EXPECT_TRUE(error->text.startsWith(QStringLiteral("JPEG error"))) << error->text.toStdString();
  box.show();
  Settle();
  EXPECT_TRUE(box.isVisible());
  EXPECT_TRUE(Child<QLabel>(box, "ProgramIcon")->pixmap().isNull());
  EXPECT_FALSE(Child<QLabel>(box, "Banner")->pixmap().isNull());
}

TEST_F(AboutBoxTest, EnterOkOrTheCloseBoxCloseIt) {
  struct Closing {
    const char* what;
    std::function<void(AboutBox&)> close;
    int result;
  };
  const auto key = [](QWidget* target, int code) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
  };
  const Closing closings[] = {
      {"Return at the focused OK", [&](AboutBox& b) { key(b.focusWidget(), Qt::Key_Return); },
       QDialog::Accepted},
      {"keypad Enter at the box", [&](AboutBox& b) { key(&b, Qt::Key_Enter); }, QDialog::Accepted},
      {"OK clicked", [](AboutBox& b) { Child<QPushButton>(b, "OkButton")->click(); },
       QDialog::Accepted},
      {"close box", [](AboutBox& b) { b.close(); }, QDialog::Rejected},
  };
  AboutBox box;
  for (const auto& closing : closings) {
    SCOPED_TRACE(closing.what);
    box.setResult(-1);
    box.show();
    Settle();
    ASSERT_TRUE(box.isVisible());
    closing.close(box);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), closing.result);
  }
}

TEST_F(AboutBoxTest, IsCentredOnTheScreenEachTimeItShows) {
  // Its owner sits in a corner: the box centres on the screen, not on it.
  QWidget owner;
  owner.setGeometry(0, 0, 200, 150);
  owner.show();
  AboutBox box(&owner);
  for (int showing = 0; showing < 2; ++showing) {
    SCOPED_TRACE(showing);
    box.show();
    Settle();
    const QPoint centre = box.screen()->availableGeometry().center();
    EXPECT_LE((box.frameGeometry().center() - centre).manhattanLength(), 2);
    box.move(5, 5);  // moved away by the user
    box.hide();
  }
}

TEST_F(AboutBoxTest, LinksOpenTheirAddressesAndStayVisitedWhileTheProgramRuns) {
  auto form = MakeWindow();
  AboutBox about(form.get());
  form->SetAboutBox(&about);
  const auto press = [](QDialog& box, const char* name) {
    auto* link = Child<HyperlinkLabel>(box, name);
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(4, 4), link->mapToGlobal(QPointF(4, 4)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(link, &event);
  };
  shell::AnswerNextDialog([&](QDialog& box) {
    press(box, "HomePageLink");
    press(box, "MailLink");
    box.accept();
  });
  form->ShowAbout();
  EXPECT_EQ(recorder_.opened,
            (QList<QUrl>{QUrl(shell::SecondWebAddress()), QUrl(shell::MailLink())}));

  // Shown again: the pressed links are still fuchsia, the other blue.
  shell::AnswerNextDialog([&](QDialog& box) {
    for (const auto& [name, colour] : {std::pair{"WebSiteLink", QColor(0, 0, 255)},
                                       {"HomePageLink", QColor(255, 0, 255)},
                                       {"MailLink", QColor(255, 0, 255)}}) {
      auto* link = Child<HyperlinkLabel>(box, name);
      EXPECT_EQ(link->palette().color(link->foregroundRole()), colour) << name;
    }
    box.accept();
  });
  form->ShowAbout();
}

TEST_F(AboutBoxTest, TabReachesEveryLinkAndTheKeyboardOpensIt) {
  AboutBox box;
  box.show();
  box.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
  QStringList reached;
  for (int tab = 0; tab < 4; ++tab) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    reached << QApplication::focusWidget()->objectName();
  }
  EXPECT_EQ(reached, (QStringList{QStringLiteral("WebSiteLink"), QStringLiteral("HomePageLink"),
                                  QStringLiteral("MailLink"), QStringLiteral("OkButton")}));

  for (const auto& [key, name] : {std::pair{Qt::Key_Return, "WebSiteLink"},
                                  {Qt::Key_Enter, "HomePageLink"},
                                  {Qt::Key_Space, "MailLink"}}) {
    auto* link = Child<HyperlinkLabel>(box, name);
    link->setFocus(Qt::TabFocusReason);
    QTest::keyClick(link, key);
    ASSERT_FALSE(recorder_.opened.isEmpty());
    EXPECT_EQ(recorder_.opened.takeLast(), QUrl(link->url())) << name;
  }
  EXPECT_TRUE(box.isVisible()) << "Return on a link opens it, not the OK button";
}

}  // namespace
