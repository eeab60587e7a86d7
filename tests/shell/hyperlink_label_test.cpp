// HyperlinkLabel on a shown parent: what it paints and when, how it sizes
// itself, its colours under the mouse, and what a press opens.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QThread>
#include <functional>
#include <memory>
#include <set>

#include "dialog_answers.h"
#include "qt_test_helpers.h"
#include "shell/hyperlink_label.h"

namespace {

using shell::HyperlinkLabel;

const QString kUrl = QStringLiteral("http://target.example.com/page");
const QString kCaption = QStringLiteral("see the page");
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

class HyperlinkLabelTest : public testing::Test {
 protected:
  void SetUp() override {
    host_.resize(420, 80);
    link_ = new HyperlinkLabel(&host_);
    link_->move(10, 10);
    link_->SetCaption(kCaption);
    link_->SetUrl(kUrl);
    paints_ = std::make_unique<PaintCounter>(*link_);
    host_.show();
    // The first paint fits the link to its caption, which paints it again;
    // on a busy machine that can come late. Start once the paints stop.
    for (int quiet = 0, round = 0; quiet < 3 && round < 100; ++round) {
      Settle(30);
      quiet = paints_->Take() == 0 ? quiet + 1 : 0;
    }
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
    const QFontMetrics metrics(link_->DrawingFont());
    return {metrics.horizontalAdvance(link_->Caption()) + 6, metrics.height() + 2};
  }

  UrlRecorder recorder_;
  QWidget host_;
  HyperlinkLabel* link_ = nullptr;
  std::unique_ptr<PaintCounter> paints_;
};

TEST(HyperlinkLabel, ANewLinkPointsAtTheDefaultAddressInBlueBoldUnderlined) {
  HyperlinkLabel link;
  EXPECT_EQ(link.Url(), QStringLiteral("http://www.kelvane.example.com/"));
  EXPECT_EQ(link.Caption(), link.Url());
  EXPECT_EQ(link.LinkColor(), QColor(kBlue));
  EXPECT_EQ(link.TextColor(), QColor(kBlue));
  EXPECT_FALSE(link.Background().isValid());  // the palette's button face
  EXPECT_TRUE(link.FontName().isEmpty());
  EXPECT_TRUE(link.DrawingFont().bold());
  EXPECT_TRUE(link.DrawingFont().underline());
  EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
  const QFontMetrics metrics(link.DrawingFont());
  EXPECT_EQ(link.size(), QSize(metrics.horizontalAdvance(link.Caption()) + 6, metrics.height() + 2));
}

TEST_F(HyperlinkLabelTest, FitsItsCaptionAndTellsItsLayout) {
  const QString captions[] = {QStringLiteral("a much longer caption than before, to grow the link"),
                              QStringLiteral("short"), QStringLiteral("手机号码"),
                              QStringLiteral("QQ:12345678  QQ:87654321")};
  EXPECT_EQ(link_->size(), FittedSize());
  for (const QString& caption : captions) {
    SCOPED_TRACE(caption.toStdString());
    link_->SetCaption(caption);
    EXPECT_EQ(link_->size(), FittedSize());
    EXPECT_EQ(link_->sizeHint(), FittedSize());
  }
  // In a layout, the layout gives it the size it asks for.
  QWidget box;
  auto* row = new QHBoxLayout(&box);
  auto* laidOut = new HyperlinkLabel(&box);
  row->addWidget(laidOut);
  row->addStretch();
  box.resize(600, 60);
  box.show();
  Settle();
  laidOut->SetCaption(captions[0]);
  Settle();
  EXPECT_EQ(laidOut->size(), laidOut->sizeHint());
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

TEST_F(HyperlinkLabelTest, AFontChangeRefitsTheLink) {
  link_->SetCaption(QStringLiteral("WWWWWWWWWW"));
  Settle();
  const QSize before = link_->size();
  link_->SetFontName(QStringLiteral("DejaVu Sans Mono"));
  Settle();
  EXPECT_EQ(link_->DrawingFont().family(), QStringLiteral("DejaVu Sans Mono"));
  EXPECT_EQ(link_->size(), FittedSize());
  EXPECT_NE(link_->size(), before);
}

struct MouseStep {
  const char* what;
  std::function<void()> act;
  QRgb ink;
  QRgb linkColor;
  int opened;     // addresses handed to the desktop so far
  bool repaints;  // whether the step paints the link again
};

TEST_F(HyperlinkLabelTest, TurnsRedUnderTheMouseAndFuchsiaOnceVisited) {
  const MouseStep steps[] = {
      {"at rest", [] {}, kBlue, kBlue, 0, false},
      {"enter", [this] { Enter(); }, kRed, kBlue, 0, true},
      {"press", [this] { Mouse(QEvent::MouseButtonPress, Qt::LeftButton); }, kRed, kFuchsia,
       1, false},
      {"release outside",
       [this] {
         Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, {-40, -40});
       },
       kRed, kFuchsia, 1, false},
      {"leave", [this] { Leave(); }, kFuchsia, kFuchsia, 1, true},
      {"enter again", [this] { Enter(); }, kRed, kFuchsia, 1, true},
      {"leave again", [this] { Leave(); }, kFuchsia, kFuchsia, 1, true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(Repaints() > 0, step.repaints);
    EXPECT_EQ(Ink(), std::set<QRgb>{step.ink});
    EXPECT_EQ(link_->LinkColor(), QColor(step.linkColor));
    EXPECT_EQ(recorder_.opened.size(), step.opened);
  }
  // The address, not the caption, went to the desktop.
  EXPECT_EQ(recorder_.opened, QList<QUrl>{QUrl(kUrl)});
}

TEST_F(HyperlinkLabelTest, OnlyTheLeftButtonOpensTheLink) {
  const std::pair<Qt::MouseButton, int> buttons[] = {
      {Qt::RightButton, 0}, {Qt::MiddleButton, 0}, {Qt::LeftButton, 1}};
  for (const auto& [button, opened] : buttons) {
    SCOPED_TRACE(button);
    Mouse(QEvent::MouseButtonPress, button);
    Mouse(QEvent::MouseButtonRelease, button);
    EXPECT_EQ(recorder_.opened.size(), opened);
    EXPECT_EQ(link_->LinkColor(), QColor(opened ? kFuchsia : kBlue));
  }
}

TEST_F(HyperlinkLabelTest, AMailLinkGoesToTheMailHandler) {
  link_->SetUrl(QStringLiteral("mailto:someone@kelvane.example.com"));
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton);
  EXPECT_EQ(recorder_.opened,
            QList<QUrl>{QUrl(QStringLiteral("mailto:someone@kelvane.example.com"))});
}

struct PropertyWrite {
  const char* what;
  std::function<void(HyperlinkLabel&)> write;
  bool repaints;
};

TEST_F(HyperlinkLabelTest, WritesRepaintOnlyWhenWhatIsDrawnChanges) {
  const PropertyWrite writes[] = {
      {"URL, new", [](HyperlinkLabel& l) { l.SetUrl(QStringLiteral("http://elsewhere.example.com/")); }, false},
      {"URL, same", [](HyperlinkLabel& l) { l.SetUrl(l.Url()); }, false},
      {"Caption, same", [](HyperlinkLabel& l) { l.SetCaption(kCaption); }, false},
      {"Caption, new", [](HyperlinkLabel& l) { l.SetCaption(QStringLiteral("another caption")); }, true},
      {"Background, same", [](HyperlinkLabel& l) { l.SetBackground(QColor()); }, false},
      {"Background, new", [](HyperlinkLabel& l) { l.SetBackground(QColor(255, 255, 0)); }, true},
      {"Background, same again", [](HyperlinkLabel& l) { l.SetBackground(QColor(255, 255, 0)); }, false},
      {"FontName, same", [](HyperlinkLabel& l) { l.SetFontName(QString()); }, false},
      {"FontName, new", [](HyperlinkLabel& l) { l.SetFontName(QStringLiteral("DejaVu Serif")); },
       true},
      {"FontName, same again",
       [](HyperlinkLabel& l) { l.SetFontName(QStringLiteral("DejaVu Serif")); }, false},
  };
  for (const auto& write : writes) {
    SCOPED_TRACE(write.what);
    write.write(*link_);
    EXPECT_EQ(Repaints() > 0, write.repaints);
  }
  EXPECT_EQ(link_->Url(), QStringLiteral("http://elsewhere.example.com/"));
  EXPECT_EQ(Background(), QColor(255, 255, 0));
}

TEST_F(HyperlinkLabelTest, TheBackgroundIsTheButtonFace) {
  EXPECT_EQ(Background(), link_->palette().color(QPalette::Button));
}

TEST_F(HyperlinkLabelTest, ScreenReadersFindAPressableLinkNamedByItsCaption) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(link_);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->role(), QAccessible::Link);
  EXPECT_EQ(accessible->text(QAccessible::Name), kCaption);
  link_->SetCaption(QStringLiteral("主页"));
  EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("主页"));
  EXPECT_FALSE(accessible->state().traversed);

  ASSERT_NE(accessible->actionInterface(), nullptr);
  accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(recorder_.opened, QList<QUrl>{QUrl(kUrl)});
  EXPECT_TRUE(accessible->state().traversed);
}

}  // namespace

