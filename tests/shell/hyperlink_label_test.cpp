// HyperlinkLabel: the colour it shows through the mouse and the keys, what it
// opens, its focus frame and size, and what assistive technology learns.

#include "shell/hyperlink_label.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <functional>
#include <set>

#include "qt_test_helpers.h"

namespace {

using shell::HyperlinkLabel;

const QString kUrl = QStringLiteral("http://target.example.com/page");
const QString kText = QStringLiteral("see the page");
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kFuchsia = qRgb(255, 0, 255);

class HyperlinkLabelTest : public testing::Test {
 protected:
  void SetUp() override {
    host_.resize(300, 60);
    link_->move(10, 10);
    host_.show();
    Settle();
  }

  void Send(QEvent&& event) { QCoreApplication::sendEvent(link_, &event); }
  void Enter() { Send(QEnterEvent({5, 5}, {15, 15}, link_->mapToGlobal(QPointF(5, 5)))); }
  void Leave() { Send(QEvent(QEvent::Leave)); }
  void Mouse(QEvent::Type type, Qt::MouseButton button, QPointF at = {5, 5}) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? button : Qt::NoButton;
    Send(QMouseEvent(type, at, link_->mapToGlobal(at), button, held, Qt::NoModifier));
  }
  void Key(int key, bool repeat = false) {
    Send(QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, QString(), repeat));
  }
  // Which of the link colours the link shows (text and underline).
  std::set<QRgb> Ink() {
    const QImage shown = link_->grab().toImage();
    std::set<QRgb> found;
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        const QRgb pixel = shown.pixel(x, y) | 0xFF000000;
        if (pixel == kBlue || pixel == kRed || pixel == kFuchsia) found.insert(pixel);
      }
    }
    return found;
  }

  UrlRecorder recorder_;
  QWidget host_;
  HyperlinkLabel* link_ = new HyperlinkLabel(kText, kUrl, &host_);
};

struct Step {
  const char* what;
  std::function<void()> act;
  QRgb ink;
  int opened;  // addresses handed to the desktop so far
};

TEST_F(HyperlinkLabelTest, RedUnderTheMouseAndFuchsiaForGoodOncePressed) {
  const Step steps[] = {
      {"at rest", [] {}, kBlue, 0},
      {"enter", [&] { Enter(); }, kRed, 0},
      {"right button", [&] { Mouse(QEvent::MouseButtonPress, Qt::RightButton); }, kRed, 0},
      {"left press", [&] { Mouse(QEvent::MouseButtonPress, Qt::LeftButton); }, kRed, 1},
      {"release outside",
       [&] {
         Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, {-40, -40});
       },
       kRed, 1},
      {"leave", [&] { Leave(); }, kFuchsia, 1},
      {"enter again", [&] { Enter(); }, kRed, 1},
      {"leave again", [&] { Leave(); }, kFuchsia, 1},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(Ink(), std::set<QRgb>{step.ink}) << step.what;
    EXPECT_EQ(recorder_.opened.size(), step.opened) << step.what;
  }
  EXPECT_EQ(recorder_.opened, QList<QUrl>{QUrl(kUrl)}) << "the address, not the text";
}

TEST_F(HyperlinkLabelTest, ReturnEnterAndSpaceOpenItAndShowItVisitedAtOnce) {
  const Step steps[] = {
      {"another key", [&] { Key(Qt::Key_A); }, kBlue, 0},
      {"Return", [&] { Key(Qt::Key_Return); }, kFuchsia, 1},
      {"Enter", [&] { Key(Qt::Key_Enter); }, kFuchsia, 2},
      {"Space", [&] { Key(Qt::Key_Space); }, kFuchsia, 3},
      {"Space held down", [&] { Key(Qt::Key_Space, true); }, kFuchsia, 3},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(Ink(), std::set<QRgb>{step.ink}) << step.what;
    EXPECT_EQ(recorder_.opened.size(), step.opened) << step.what;
  }
}

TEST_F(HyperlinkLabelTest, FitsItsTextAndShowsAFocusFrameWhenTabReachesIt) {
  EXPECT_TRUE(link_->font().bold() && link_->font().underline());
  EXPECT_EQ(link_->cursor().shape(), Qt::PointingHandCursor);
  // As a label of its font would, and a margin for the focus frame.
  for (const QString& text : {kText, QStringLiteral("QQ:12345678  QQ:87654321")}) {
    link_->setText(text);
    QLabel plain(text);
    plain.setFont(link_->font());
    EXPECT_EQ(link_->sizeHint(), plain.sizeHint() + QSize(6, 2));
  }
  link_->resize(link_->sizeHint());
  host_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
  const QImage unfocused = link_->grab().toImage();
  QTest::keyClick(&host_, Qt::Key_Tab);
  ASSERT_TRUE(link_->hasFocus());
  EXPECT_NE(link_->grab().toImage(), unfocused) << "no focus frame";
}

TEST_F(HyperlinkLabelTest, AssistiveTechnologySeesAPressableLinkAndItsVisit) {
  QAccessibleInterface* link = QAccessible::queryAccessibleInterface(link_);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->role(), QAccessible::Link);
  EXPECT_EQ(link->text(QAccessible::Name), kText);
  EXPECT_EQ(link->text(QAccessible::Description), kUrl);
  EXPECT_TRUE(link->state().focusable);
  EXPECT_FALSE(link->state().traversed);
  ASSERT_NE(link->actionInterface(), nullptr);
  EXPECT_EQ(link->actionInterface()->actionNames(),
            QStringList{QAccessibleActionInterface::pressAction()});

  link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(recorder_.opened, QList<QUrl>{QUrl(kUrl)});
  EXPECT_TRUE(link->state().traversed);
  link_->setText(QStringLiteral("another page"));
  EXPECT_EQ(link->text(QAccessible::Name), QStringLiteral("another page"));
}

}  // namespace
