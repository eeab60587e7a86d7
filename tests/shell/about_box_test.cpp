// The About box: its look, its links, and how it opens and closes, alone and
// through the main window's About command.

#include "shell/about_box.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFrame>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QThread>

#include "qt_test_helpers.h"
#include "shell/branding.h"
#include "shell/hyperlink_label.h"
#include "shell_fixture.h"

namespace {

using shell::HyperlinkLabel;

class AboutBoxTest : public MainWindowTest {
 protected:
  static void Press(HyperlinkLabel& link) {
    QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), link.mapToGlobal(QPointF(4, 4)));
    QCoreApplication::sendEvent(&link, &enter);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(4, 4), link.mapToGlobal(QPointF(4, 4)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&link, &press);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&link, &leave);
  }

  UrlRecorder recorder_;
};

struct LabelLook {
  const char* name;
  QPoint position;
  const char* text;
  const char* family;
  int pixels;
  bool bold;
};

struct LinkLook {
  const char* name;
  QPoint position;
  QString caption;
  QString url;
};

const LinkLook kLinks[] = {
    {"WebSiteLink", {16, 88}, shell::MakerWebSite(), shell::MakerWebSite()},
    {"HomePageLink", {16, 108}, shell::HomePage(), shell::SecondWebAddress()},
    {"MailLink", {16, 130}, shell::QQContacts(), shell::MailLink()},
};

TEST_F(AboutBoxTest, IsASmallFixedLayoutDialogThatStaysOnTop) {
  shell::AboutBox box;
  EXPECT_EQ(box.objectName(), QStringLiteral("AboutBox"));
  EXPECT_EQ(box.windowTitle(), QStringLiteral("关于本软件"));
  EXPECT_EQ(box.size(), QSize(272, 190));
  EXPECT_FALSE(box.isVisible());
  const Qt::WindowFlags flags = box.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
  EXPECT_EQ(box.palette().color(QPalette::Window), box.palette().color(QPalette::Button));
  EXPECT_EQ(box.font().family(), QStringLiteral("MS Sans Serif"));
  EXPECT_EQ(box.font().pixelSize(), 11);
  EXPECT_FALSE(box.windowIcon().isNull());

  // The panel fills the client area, now and when the box is resized.
  box.show();
  Settle();
  auto* panel = Child<QFrame>(box, "Frame");
  EXPECT_EQ(panel->geometry(), box.rect());
  EXPECT_EQ(panel->frameShape(), QFrame::Box);
  EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
  box.resize(300, 220);
  Settle();
  EXPECT_EQ(panel->geometry(), box.rect());
}

TEST_F(AboutBoxTest, ShowsTheNameAndVersionInBlue) {
  const LabelLook labels[] = {
      {"ProductName", {112, 16}, "Kelvane", "宋体", 12, true},
      {"Version", {216, 14}, "Ver 2.6", "Arial", 13, false},
  };
  shell::AboutBox box;
  for (const auto& look : labels) {
    SCOPED_TRACE(look.name);
    auto* label = Child<QLabel>(box, look.name);
    EXPECT_EQ(label->parentWidget()->objectName(), QStringLiteral("Frame"));
    EXPECT_EQ(label->pos(), look.position);
    EXPECT_EQ(label->text(), QString::fromUtf8(look.text));
    EXPECT_EQ(label->font().family(), QString::fromUtf8(look.family));
    EXPECT_EQ(label->font().pixelSize(), look.pixels);
    EXPECT_EQ(label->font().bold(), look.bold);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(label->size(), label->sizeHint());  // sized to its text
  }
}

TEST_F(AboutBoxTest, ShowsTheLogoAndBannerAtTheirPictureSizes) {
  const std::tuple<const char*, QPoint, QSize> pictures[] = {
      {"ProgramIcon", {20, 8}, {66, 46}},
      {"Banner", {20, 64}, {188, 18}},
  };
  shell::AboutBox box;
  for (const auto& [name, position, size] : pictures) {
    SCOPED_TRACE(name);
    auto* picture = Child<QLabel>(box, name);
    EXPECT_EQ(picture->pos(), position);
    EXPECT_EQ(picture->size(), size);
    EXPECT_EQ(picture->pixmap().size(), size);
  }
  EXPECT_EQ(Child<QLabel>(box, "Banner")->alignment(), Qt::AlignCenter);
}

TEST_F(AboutBoxTest, TheLinksFitTheirCaptions) {
  shell::AboutBox box;
  for (const auto& look : kLinks) {
    SCOPED_TRACE(look.name);
    auto* link = Child<HyperlinkLabel>(box, look.name);
    EXPECT_EQ(link->parentWidget()->objectName(), QStringLiteral("Frame"));
    EXPECT_EQ(link->pos(), look.position);
    EXPECT_EQ(link->Caption(), look.caption);
    EXPECT_EQ(link->Url(), look.url);
    EXPECT_FALSE(link->Background().isValid());  // the button face
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  }
  box.show();
  Settle();
  for (const auto& look : kLinks) {
    SCOPED_TRACE(look.name);
    auto* link = Child<HyperlinkLabel>(box, look.name);
    const QFontMetrics metrics(link->DrawingFont());
    EXPECT_EQ(link->geometry(),
              QRect(look.position,
                    QSize(metrics.horizontalAdvance(look.caption) + 6, metrics.height() + 2)));
    EXPECT_LE(link->geometry().right(), box.width()) << "cut off by the box";
  }
  EXPECT_EQ(shell::QQContacts(), QStringLiteral("QQ:12345678  QQ:87654321"));
}

TEST_F(AboutBoxTest, TheOkButtonIsTheDefaultAndLiesAboveThePanel) {
  shell::AboutBox box;
  auto* ok = Child<QPushButton>(box, "OkButton");
  EXPECT_EQ(ok->parentWidget(), &box);
  EXPECT_EQ(ok->geometry(), QRect(207, 156, 50, 25));
  EXPECT_EQ(ok->text(), QStringLiteral("确 定"));
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(ok->font().family(), QStringLiteral("宋体"));
  EXPECT_EQ(ok->font().pixelSize(), 12);
  box.show();
  Settle();
  EXPECT_EQ(box.childAt(ok->geometry().center()), ok);
  EXPECT_EQ(box.focusWidget(), ok);
}

TEST_F(AboutBoxTest, EnterOkOrTheCloseBoxCloseIt) {
  struct Closing {
    const char* what;
    std::function<void(shell::AboutBox&)> close;
    int result;
  };
  const auto key = [](QWidget* target, int code) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
  };
  const Closing closings[] = {
      {"Return at the focused OK", [&](shell::AboutBox& b) { key(b.focusWidget(), Qt::Key_Return); },
       QDialog::Accepted},
      {"keypad Enter at the box", [&](shell::AboutBox& b) { key(&b, Qt::Key_Enter); },
       QDialog::Accepted},
      {"OK clicked", [](shell::AboutBox& b) { Child<QPushButton>(b, "OkButton")->click(); },
       QDialog::Accepted},
      {"close box", [](shell::AboutBox& b) { b.close(); }, QDialog::Rejected},
  };
  shell::AboutBox box;
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
  shell::AboutBox box(&owner);
  for (int showing = 0; showing < 2; ++showing) {
    SCOPED_TRACE(showing);
    box.show();
    Settle();
    const QPoint centre = box.screen()->geometry().center();
    EXPECT_LE((box.frameGeometry().center() - centre).manhattanLength(), 2);
    box.move(5, 5);  // moved away by the user
    box.hide();
  }
}

TEST_F(AboutBoxTest, LinksOpenTheirAddressesAndStayVisitedWhileTheProgramRuns) {
  auto form = MakeForm();
  shell::AboutBox about(form.get());
  form->SetAboutBox(&about);

  // First showing: every link pressed opens its own address; the home-page
  // link opens its URL, not the home page it shows.
  shell::AnswerNextDialog([&](QDialog& box) {
    Press(*Child<HyperlinkLabel>(box, "HomePageLink"));
    EXPECT_EQ(recorder_.opened, QList<QUrl>{QUrl(shell::SecondWebAddress())});
    Press(*Child<HyperlinkLabel>(box, "MailLink"));
    box.accept();
  });
  form->ShowAbout();
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(recorder_.opened,
            (QList<QUrl>{QUrl(shell::SecondWebAddress()), QUrl(shell::MailLink())}));

  // Second showing: the pressed links are still fuchsia, the other blue.
  shell::AnswerNextDialog([&](QDialog& box) {
    for (const auto& [name, visited] :
         {std::pair{"WebSiteLink", false}, {"HomePageLink", true}, {"MailLink", true}}) {
      SCOPED_TRACE(name);
      auto* link = Child<HyperlinkLabel>(box, name);
      const QColor expected = visited ? QColor(255, 0, 255) : QColor(0, 0, 255);
      EXPECT_EQ(link->LinkColor(), expected);
      EXPECT_EQ(link->TextColor(), expected);
    }
    Child<QPushButton>(box, "OkButton")->click();
  });
  form->ShowAbout();
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace

namespace {

TEST_F(AboutBoxTest, TabReachesEveryLinkAndTheKeyboardOpensIt) {
  shell::AboutBox box;
  box.show();
  box.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
  QStringList reached;
  for (int tab = 0; tab < 8; ++tab) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    if (auto* link = qobject_cast<HyperlinkLabel*>(QApplication::focusWidget())) {
      if (!reached.contains(link->objectName())) reached << link->objectName();
    }
  }
  reached.sort();
  EXPECT_EQ(reached, (QStringList{QStringLiteral("HomePageLink"), QStringLiteral("MailLink"),
                                  QStringLiteral("WebSiteLink")}));

  const std::pair<Qt::Key, const char*> keys[] = {{Qt::Key_Return, "WebSiteLink"},
                                                  {Qt::Key_Enter, "HomePageLink"},
                                                  {Qt::Key_Space, "MailLink"}};
  for (const auto& [key, name] : keys) {
    SCOPED_TRACE(name);
    auto* link = Child<HyperlinkLabel>(box, name);
    link->setFocus(Qt::TabFocusReason);
    QTest::keyClick(link, key);
    ASSERT_FALSE(recorder_.opened.isEmpty());
    EXPECT_EQ(recorder_.opened.takeLast(), QUrl(link->Url()));
    EXPECT_EQ(link->TextColor(), QColor(255, 0, 255)) << "visited, and shown so";
    auto* accessible = QAccessible::queryAccessibleInterface(link);
    EXPECT_EQ(accessible->role(), QAccessible::Link);
    EXPECT_EQ(accessible->text(QAccessible::Name), link->Caption());
  }
  EXPECT_TRUE(box.isVisible()) << "Return on a link opens it, not the OK button";
  EXPECT_EQ(QAccessible::queryAccessibleInterface(Child<QLabel>(box, "ProgramIcon"))
                ->text(QAccessible::Name),
            QStringLiteral("Kelvane"));
}

}  // namespace
