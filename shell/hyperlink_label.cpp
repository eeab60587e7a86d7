#include "shell/hyperlink_label.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include "platform/url_opener.h"

namespace shell {
namespace {

const QColor kUnvisited(0, 0, 255);
const QColor kVisited(255, 0, 255);
const QColor kHovered(255, 0, 0);

// Qt's label reads as static text: no Link role, URL, traversed state or press.
class HyperlinkAccessible final : public QAccessibleWidget {
 public:
  explicit HyperlinkAccessible(HyperlinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) return Link()->text();
    if (kind == QAccessible::Description && widget()->accessibleDescription().isEmpty())
      return Link()->url();
    return QAccessibleWidget::text(kind);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.linked = true;
    s.traversed = Link()->visited();
    return s;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name == pressAction()) Link()->open();
  }

 private:
  HyperlinkLabel* Link() const { return static_cast<HyperlinkLabel*>(widget()); }
};

QAccessibleInterface* MakeHyperlinkAccessible(const QString&, QObject* object) {
  auto* link = qobject_cast<HyperlinkLabel*>(object);
  return link ? new HyperlinkAccessible(link) : nullptr;
}

}  // namespace

HyperlinkLabel::HyperlinkLabel(const QString& text, const QString& url, QWidget* parent)
    : QLabel(text, parent), url_(url) {
  [[maybe_unused]] static const bool accessibleInstalled =
      (QAccessible::installFactory(MakeHyperlinkAccessible), true);
  setTextFormat(Qt::PlainText);
  QFont linkFont = font();
  linkFont.setBold(true);
  linkFont.setUnderline(true);
  setFont(linkFont);
  // Room for the focus frame around the text; the size hint includes it.
  setContentsMargins(3, 1, 3, 1);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setCursor(Qt::PointingHandCursor);
  // Tab only: after a click the dialog's default button keeps Return.
  setFocusPolicy(Qt::TabFocus);
  ShowState();
}

void HyperlinkLabel::open() {
  platform::OpenUrl(url_);
  if (visited_) return;
  visited_ = true;
  ShowState();
  // Assistive technology hears of the visit when it happens.
  QAccessible::State changed;
  changed.traversed = true;
  QAccessibleStateChangeEvent event(this, changed);
  QAccessible::updateAccessibility(&event);
}

void HyperlinkLabel::ShowState() {
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText,
                   underMouse() ? kHovered : (visited_ ? kVisited : kUnvisited));
  setPalette(colours);
}

// QLabel draws no focus frame; a link Tab has reached must show it.
void HyperlinkLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QStylePainter painter(this);
  QStyleOptionFocusRect frame;
  frame.initFrom(this);
  frame.backgroundColor = palette().color(backgroundRole());
  painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
}

// QLabel has no hover colour (a style sheet would take over the palette).
void HyperlinkLabel::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  ShowState();
}

void HyperlinkLabel::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  ShowState();
}

// QLabel's links open on the release; this one opens on the press.
void HyperlinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QLabel::mousePressEvent(event);
  open();
  event->accept();
}

// QLabel's keyboard links need rich text and take Return and Enter, not Space.
void HyperlinkLabel::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space)
    return QLabel::keyPressEvent(event);
  // A key held down opens the address once, not once per repeat.
  if (!event->isAutoRepeat()) open();
  event->accept();
}

}  // namespace shell
