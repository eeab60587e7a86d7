#include "shell/hyperlink_label.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "platform/url_opener.h"

namespace shell {
namespace {

// A new link points here until its owner gives it an address of its own.
const QString kDefaultUrl = QStringLiteral("http://www.kelvane.example.com/");

const QColor kUnvisited(0, 0, 255);
const QColor kVisited(255, 0, 255);
const QColor kHovered(255, 0, 0);

// Left and right of the text, and above and below it.
constexpr int kMarginX = 3;
constexpr int kMarginY = 1;

// Screen readers see a link: named by its caption, described by its
// address, marked once visited, and pressable.
class HyperlinkAccessible final : public QAccessibleWidget {
 public:
  explicit HyperlinkAccessible(HyperlinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.linked = true;
    s.traversed = Link()->LinkColor() == kVisited;
    return s;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& actionName) override {
    if (actionName == pressAction()) Link()->Follow();
  }

 private:
  HyperlinkLabel* Link() const { return static_cast<HyperlinkLabel*>(widget()); }
};

QAccessibleInterface* MakeHyperlinkAccessible(const QString&, QObject* object) {
  auto* link = qobject_cast<HyperlinkLabel*>(object);
  return link ? new HyperlinkAccessible(link) : nullptr;
}

// A small dialog font: 8 points at the desktop's usual 96 dots an inch.
QFont DefaultDrawingFont() {
  QFont font;
  font.setPixelSize(11);
  return font;
}

}  // namespace

HyperlinkLabel::HyperlinkLabel(QWidget* parent)
    : QWidget(parent),
      linkColor_(kUnvisited),
      drawingFont_(DefaultDrawingFont()),
      textColor_(kUnvisited) {
  [[maybe_unused]] static const bool accessibleInstalled =
      (QAccessible::installFactory(MakeHyperlinkAccessible), true);

  drawingFont_.setBold(true);
  drawingFont_.setUnderline(true);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setFocusPolicy(Qt::StrongFocus);
  SetUrl(kDefaultUrl);
  SetCaption(kDefaultUrl);
  setCursor(Qt::PointingHandCursor);
}

QSize HyperlinkLabel::sizeHint() const {
  const QFontMetrics metrics(drawingFont_);
  return {metrics.horizontalAdvance(caption_) + 2 * kMarginX, metrics.height() + 2 * kMarginY};
}

void HyperlinkLabel::Refit() {
  updateGeometry();
  // Links placed by hand (no layout) fit their caption too.
  resize(sizeHint());
  update();
}

void HyperlinkLabel::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  setAccessibleName(caption_);
  Refit();
}

void HyperlinkLabel::SetUrl(const QString& url) {
  if (url == url_) return;
  url_ = url;
  setAccessibleDescription(url_);
}

void HyperlinkLabel::SetBackground(const QColor& color) {
  if (color == background_) return;
  background_ = color;
  update();
}

void HyperlinkLabel::SetFontName(const QString& name) {
  if (name == fontName_) return;
  fontName_ = name;
  drawingFont_.setFamily(name.isEmpty() ? DefaultDrawingFont().family() : name);
  Refit();
}

void HyperlinkLabel::Follow() {
  platform::OpenUrl(url_);
  linkColor_ = kVisited;
}

void HyperlinkLabel::paintEvent(QPaintEvent* event) {
  const QFontMetrics metrics(drawingFont_);
  QPainter painter(this);
  painter.fillRect(event->rect(),
                   background_.isValid() ? background_ : palette().color(QPalette::Button));
  painter.setFont(drawingFont_);
  painter.setPen(textColor_);
  painter.drawText(kMarginX, kMarginY + metrics.ascent(), caption_);
  if (hasFocus()) {
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    frame.backgroundColor = palette().color(QPalette::Button);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
  }
}

void HyperlinkLabel::enterEvent(QEnterEvent* event) {
  textColor_ = kHovered;
  update();
  QWidget::enterEvent(event);
}

void HyperlinkLabel::leaveEvent(QEvent* event) {
  textColor_ = linkColor_;
  update();
  QWidget::leaveEvent(event);
}

// The address opens on the press, not the release: releasing elsewhere
// does not take it back.
void HyperlinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    Follow();
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

void HyperlinkLabel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      Follow();
      // Not under the mouse, the visited colour shows at once.
      if (!underMouse()) textColor_ = linkColor_;
      update();
      event->accept();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace shell
