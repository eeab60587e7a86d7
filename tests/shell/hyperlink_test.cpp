// TcwHyperLink on a shown parent: what it paints and when, how it sizes
// itself, its colours under the mouse, and what a press opens.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QThread>
#include <functional>
#include <memory>
#include <set>

#include "../harvest/gbk.h"
#include "dialog_answers.h"
#include "qt_test_helpers.h"
#include "shell/cwHyperLink.h"

namespace {

using shell::TColor;
using shell::TcwHyperLink;

const std::string kUrl = "http://target.example.com/page";
const std::string kCaption = "see the page";
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kFuchsia = qRgb(255, 0, 255);

// Counts the paint events a widget really receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
  int Take() { return std::exchange(count_, 0); }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count_;
    return false;
  }

 private:
  int count_ = 0;
};

// Lets queued updates and the paints they ask for run their course.

class HyperLinkTest : public testing::Test {
 protected:
  void SetUp() override {
    host_.resize(420, 80);
    link_ = new TcwHyperLink(&host_);
    link_->move(10, 10);
    link_->SetCaption(kCaption);
    link_->SetURL(kUrl);
    paints_ = std::make_unique<PaintCounter>(*link_);
    host_.show();
    Settle();
    paints_->Take();
  }
  void TearDown() override {
    EXPECT_EQ(shell::TakeUnansweredDialogs(), QStringList());
  }

  void Enter() {
    QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), link_->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(link_, &enter);
  }
  void Leave() {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(link_, &leave);
  }
  void Mouse(QEvent::Type type, Qt::MouseButton button, QPointF at = QPointF(5, 5)) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, at, link_->mapToGlobal(at), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(link_, &event);
  }

  // Paint events the link received since the last call, after the queue ran.
  int Repaints() {
    Settle();
    return paints_->Take();
  }

  // What the link shows. Grabbing paints it once more; that paint is not
  // one the link asked for and is not counted.
  QImage Shown() {
    QImage shown = link_->grab().toImage();
    paints_->Take();
    return shown;
  }
  // Which of the link colours the link shows (text and underline).
  std::set<QRgb> Ink() {
    const QImage shown = Shown();
    std::set<QRgb> found;
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        const QRgb pixel = shown.pixel(x, y) | 0xFF000000;
        if (pixel == kBlue || pixel == kRed || pixel == kFuchsia) found.insert(pixel);
      }
    }
    return found;
  }
  QColor Background() { return Shown().pixelColor(0, 0); }

  QSize FittedSize() const {
    const QFontMetrics metrics(link_->CanvasFont());
    return {metrics.horizontalAdvance(QString::fromStdString(Utf8(link_->Caption()))) + 6,
            metrics.height() + 2};
  }

  UrlRecorder recorder_;
  QWidget host_;
  TcwHyperLink* link_ = nullptr;
  std::unique_ptr<PaintCounter> paints_;
};

TEST(HyperLink, ANewLinkPointsAtTheDefaultAddressInBlueBoldUnderlined) {
  TcwHyperLink link;
  EXPECT_EQ(link.URL(), "http://www.kelvane.example.com/");
  EXPECT_EQ(link.Caption(), link.URL());
  EXPECT_EQ(link.LinkColor(), shell::clBlue);
  EXPECT_EQ(link.CanvasFontColor(), shell::clBlue);
  EXPECT_EQ(link.Color(), shell::clBtnFace);
  EXPECT_TRUE(link.FontName().isEmpty());
  EXPECT_TRUE(link.CanvasFont().bold());
  EXPECT_TRUE(link.CanvasFont().underline());
  EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(link.size(), QSize(100, 10));  // until it first paints
}

TEST(HyperLink, ColoursAreLaidOutBlueGreenRedFromTheTop) {
  EXPECT_EQ(shell::clBlue, 0xFF0000u);
  EXPECT_EQ(shell::clRed, 0x0000FFu);
  EXPECT_EQ(shell::clFuchsia, 0xFF00FFu);
  EXPECT_EQ(shell::clBtnFace, 0x8000000Fu);
  const QPalette palette;
  EXPECT_EQ(shell::ToQColor(shell::ColorFromRgb(12, 34, 56), palette), QColor(12, 34, 56));
  EXPECT_EQ(shell::ToQColor(shell::clBtnFace, palette), palette.color(QPalette::Button));
  EXPECT_EQ(shell::ToQColor(shell::clWindowText, palette), palette.color(QPalette::WindowText));
}

TEST_F(HyperLinkTest, FitsItsCaptionOnTheNextPaint) {
  const std::string captions[] = {"a much longer caption than before, to grow the link", "short",
                                  Gbk("手机号码"), "QQ:12345678  QQ:87654321"};
  EXPECT_EQ(link_->size(), FittedSize());
  for (const std::string& caption : captions) {
    SCOPED_TRACE(Utf8(caption));
    const QSize before = link_->size();
    link_->SetCaption(caption);
    EXPECT_EQ(link_->size(), before) << "resized before painting";
    Settle();
    EXPECT_EQ(link_->size(), FittedSize());
  }
  // A longer caption grows it, a shorter one shrinks it.
  link_->SetCaption(captions[1]);
  Settle();
  const int narrow = link_->width();
  link_->SetCaption(captions[0]);
  Settle();
  const int wide = link_->width();
  EXPECT_GT(wide, narrow);
  link_->SetCaption(captions[1]);
  Settle();
  EXPECT_EQ(link_->width(), narrow);
}

TEST_F(HyperLinkTest, AFontChangeRefitsTheLink) {
  link_->SetCaption("WWWWWWWWWW");
  Settle();
  const QSize before = link_->size();
  link_->SetFontName(QStringLiteral("DejaVu Sans Mono"));
  Settle();
  EXPECT_EQ(link_->CanvasFont().family(), QStringLiteral("DejaVu Sans Mono"));
  EXPECT_EQ(link_->size(), FittedSize());
  EXPECT_NE(link_->size(), before);
}

struct MouseStep {
  const char* what;
  std::function<void()> act;
  QRgb ink;
  TColor linkColor;
  int opened;     // addresses handed to the desktop so far
  bool repaints;  // whether the step paints the link again
};

TEST_F(HyperLinkTest, TurnsRedUnderTheMouseAndFuchsiaOnceVisited) {
  const MouseStep steps[] = {
      {"at rest", [] {}, kBlue, shell::clBlue, 0, false},
      {"enter", [this] { Enter(); }, kRed, shell::clBlue, 0, true},
      {"press", [this] { Mouse(QEvent::MouseButtonPress, Qt::LeftButton); }, kRed, shell::clFuchsia,
       1, false},
      {"release outside",
       [this] {
         Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, {-40, -40});
       },
       kRed, shell::clFuchsia, 1, false},
      {"leave", [this] { Leave(); }, kFuchsia, shell::clFuchsia, 1, true},
      {"enter again", [this] { Enter(); }, kRed, shell::clFuchsia, 1, true},
      {"leave again", [this] { Leave(); }, kFuchsia, shell::clFuchsia, 1, true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(Repaints() > 0, step.repaints);
    EXPECT_EQ(Ink(), std::set<QRgb>{step.ink});
    EXPECT_EQ(link_->LinkColor(), step.linkColor);
    EXPECT_EQ(recorder_.opened.size(), step.opened);
  }
  // The address, not the caption, went to the desktop.
  EXPECT_EQ(recorder_.opened, QList<QUrl>{QUrl(QString::fromStdString(kUrl))});
}

TEST_F(HyperLinkTest, OnlyTheLeftButtonOpensTheLink) {
  const std::pair<Qt::MouseButton, int> buttons[] = {
      {Qt::RightButton, 0}, {Qt::MiddleButton, 0}, {Qt::LeftButton, 1}};
  for (const auto& [button, opened] : buttons) {
    SCOPED_TRACE(button);
    Mouse(QEvent::MouseButtonPress, button);
    Mouse(QEvent::MouseButtonRelease, button);
    EXPECT_EQ(recorder_.opened.size(), opened);
    EXPECT_EQ(link_->LinkColor(), opened ? shell::clFuchsia : shell::clBlue);
  }
}

TEST_F(HyperLinkTest, AMailLinkGoesToTheMailHandler) {
  link_->SetURL("mailto:someone@kelvane.example.com");
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton);
  EXPECT_EQ(recorder_.opened,
            QList<QUrl>{QUrl(QStringLiteral("mailto:someone@kelvane.example.com"))});
}

struct PropertyWrite {
  const char* what;
  std::function<void(TcwHyperLink&)> write;
  bool repaints;
};

TEST_F(HyperLinkTest, WritesRepaintOnlyWhenWhatIsDrawnChanges) {
  const TColor yellow = shell::ColorFromRgb(255, 255, 0);
  const PropertyWrite writes[] = {
      {"URL, new", [](TcwHyperLink& l) { l.SetURL("http://elsewhere.example.com/"); }, false},
      {"URL, same", [](TcwHyperLink& l) { l.SetURL(l.URL()); }, false},
      {"Caption, same", [](TcwHyperLink& l) { l.SetCaption(kCaption); }, false},
      {"Caption, new", [](TcwHyperLink& l) { l.SetCaption("another caption"); }, true},
      {"Color, same", [](TcwHyperLink& l) { l.SetColor(shell::clBtnFace); }, false},
      {"Color, new", [=](TcwHyperLink& l) { l.SetColor(yellow); }, true},
      {"FontName, same", [](TcwHyperLink& l) { l.SetFontName(QString()); }, false},
      {"FontName, new", [](TcwHyperLink& l) { l.SetFontName(QStringLiteral("DejaVu Serif")); },
       true},
      {"FontName, same again",
       [](TcwHyperLink& l) { l.SetFontName(QStringLiteral("DejaVu Serif")); }, false},
  };
  for (const auto& write : writes) {
    SCOPED_TRACE(write.what);
    write.write(*link_);
    EXPECT_EQ(Repaints() > 0, write.repaints);
  }
  EXPECT_EQ(link_->URL(), "http://elsewhere.example.com/");
  EXPECT_EQ(Background(), QColor(255, 255, 0));
}

TEST_F(HyperLinkTest, TheBackgroundIsTheButtonFace) {
  EXPECT_EQ(Background(), link_->palette().color(QPalette::Button));
}

TEST_F(HyperLinkTest, ScreenReadersFindAPressableLinkNamedByItsCaption) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(link_);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->role(), QAccessible::Link);
  EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromStdString(kCaption));
  link_->SetCaption(Gbk("主页"));
  EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("主页"));
  EXPECT_FALSE(accessible->state().traversed);

  ASSERT_NE(accessible->actionInterface(), nullptr);
  accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(recorder_.opened, QList<QUrl>{QUrl(QString::fromStdString(kUrl))});
  EXPECT_TRUE(accessible->state().traversed);
}

}  // namespace

