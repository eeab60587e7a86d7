// The About box: its look, its links, and how it opens and closes, alone and
// through the main window's About command.

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFrame>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include "../harvest/gbk.h"
#include "platform/gbk_codec.h"
#include "shell/Unit4.h"
#include "shell/branding.h"
#include "shell/cwHyperLink.h"
#include "qt_test_helpers.h"
#include "shell_fixture.h"

namespace {

using shell::TcwHyperLink;

class AboutBoxTest : public FormTest {
 protected:
  static void Press(TcwHyperLink& link) {
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
  QRect designed;
  QString caption;
  QString url;
};

const LinkLook kLinks[] = {
    {"cwHyperLink1", {16, 88, 181, 15}, shell::MakerWebSite(), shell::MakerWebSite()},
    {"cwHyperLink3", {16, 108, 130, 15}, shell::HomePage(), shell::SecondWebAddress()},
    {"cwHyperLink2", {16, 130, 177, 15}, shell::QQContacts(), shell::MailLink()},
};

TEST_F(AboutBoxTest, IsASmallFixedLayoutDialogThatStaysOnTop) {
  shell::TForm2 box;
  EXPECT_EQ(box.objectName(), QStringLiteral("Form2"));
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
  auto* panel = Child<QFrame>(box, "Panel1");
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
  shell::TForm2 box;
  for (const auto& look : labels) {
    SCOPED_TRACE(look.name);
    auto* label = Child<QLabel>(box, look.name);
    EXPECT_EQ(label->parentWidget()->objectName(), QStringLiteral("Panel1"));
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
      {"Image1", {20, 64}, {188, 18}},
  };
  shell::TForm2 box;
  for (const auto& [name, position, size] : pictures) {
    SCOPED_TRACE(name);
    auto* picture = Child<QLabel>(box, name);
    EXPECT_EQ(picture->pos(), position);
    EXPECT_EQ(picture->size(), size);
    EXPECT_EQ(picture->pixmap().size(), size);
  }
  EXPECT_EQ(Child<QLabel>(box, "Image1")->alignment(), Qt::AlignCenter);
}

TEST_F(AboutBoxTest, TheLinksFitTheirCaptionsOnceShown) {
  shell::TForm2 box;
  for (const auto& look : kLinks) {
    SCOPED_TRACE(look.name);
    auto* link = Child<TcwHyperLink>(box, look.name);
    EXPECT_EQ(link->parentWidget()->objectName(), QStringLiteral("Panel1"));
    EXPECT_EQ(link->geometry(), look.designed);
    EXPECT_EQ(platform::FromGbk(link->Caption()), look.caption);
    EXPECT_EQ(platform::FromGbk(link->URL()), look.url);
    EXPECT_EQ(link->Color(), shell::clBtnFace);
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  }
  box.show();
  Settle();
  for (const auto& look : kLinks) {
    SCOPED_TRACE(look.name);
    auto* link = Child<TcwHyperLink>(box, look.name);
    const QFontMetrics metrics(link->CanvasFont());
    EXPECT_EQ(link->geometry(),
              QRect(look.designed.topLeft(),
                    QSize(metrics.horizontalAdvance(look.caption) + 6, metrics.height() + 2)));
    EXPECT_LE(link->geometry().right(), box.width()) << "cut off by the box";
  }
  EXPECT_EQ(shell::QQContacts(), QStringLiteral("QQ:12345678  QQ:87654321"));
}

TEST_F(AboutBoxTest, TheOkButtonIsTheDefaultAndLiesAboveThePanel) {
  shell::TForm2 box;
  auto* ok = Child<QPushButton>(box, "OKButton");
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
    std::function<void(shell::TForm2&)> close;
    int result;
  };
  const auto key = [](QWidget* target, int code) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
  };
  const Closing closings[] = {
      {"Return at the focused OK", [&](shell::TForm2& b) { key(b.focusWidget(), Qt::Key_Return); },
       QDialog::Accepted},
      {"keypad Enter at the box", [&](shell::TForm2& b) { key(&b, Qt::Key_Enter); },
       QDialog::Accepted},
      {"OK clicked", [](shell::TForm2& b) { Child<QPushButton>(b, "OKButton")->click(); },
       QDialog::Accepted},
      {"close box", [](shell::TForm2& b) { b.close(); }, QDialog::Rejected},
  };
  shell::TForm2 box;
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
  shell::TForm2 box(&owner);
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
  shell::TForm2 about(form.get());
  form->SetAboutBox(&about);

  // First showing: every link pressed opens its own address; the home-page
  // link opens its URL, not the home page it shows.
  shell::AnswerNextDialog([&](QDialog& box) {
    Press(*Child<TcwHyperLink>(box, "cwHyperLink3"));
    EXPECT_EQ(recorder_.opened, QList<QUrl>{QUrl(shell::SecondWebAddress())});
    Press(*Child<TcwHyperLink>(box, "cwHyperLink2"));
    box.accept();
  });
  form->N15Click();
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(recorder_.opened,
            (QList<QUrl>{QUrl(shell::SecondWebAddress()), QUrl(shell::MailLink())}));

  // Second showing: the pressed links are still fuchsia, the other blue.
  shell::AnswerNextDialog([&](QDialog& box) {
    for (const auto& [name, visited] :
         {std::pair{"cwHyperLink1", false}, {"cwHyperLink3", true}, {"cwHyperLink2", true}}) {
      SCOPED_TRACE(name);
      auto* link = Child<TcwHyperLink>(box, name);
      const shell::TColor expected = visited ? shell::clFuchsia : shell::clBlue;
      EXPECT_EQ(link->LinkColor(), expected);
      EXPECT_EQ(link->CanvasFontColor(), expected);
    }
    Child<QPushButton>(box, "OKButton")->click();
  });
  form->N15Click();
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace

