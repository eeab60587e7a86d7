#include "shell/cwHyperLink.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "platform/gbk_codec.h"
#include "platform/url_opener.h"

namespace shell {
namespace {

// A new link points here until its owner gives it an address of its own.
constexpr const char* kDefaultUrl = "http://www.kelvane.example.com/";

// Left and right of the text, and above and below it.
constexpr int kMarginX = 3;
constexpr int kMarginY = 1;

// Screen readers see a link: named by its caption, described by its
// address, marked once visited, and pressable.
class HyperLinkAccessible final : public QAccessibleWidget {
 public:
  explicit HyperLinkAccessible(TcwHyperLink* link) : QAccessibleWidget(link, QAccessible::Link) {}

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.linked = true;
    s.traversed = Link()->LinkColor() == clFuchsia;
    return s;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& actionName) override {
    if (actionName == pressAction()) Link()->Follow();
  }

 private:
  TcwHyperLink* Link() const { return static_cast<TcwHyperLink*>(widget()); }
};

QAccessibleInterface* MakeHyperLinkAccessible(const QString&, QObject* object) {
  auto* link = qobject_cast<TcwHyperLink*>(object);
  return link ? new HyperLinkAccessible(link) : nullptr;
}

// The framework's default font for a new drawing surface, 8 points at the
// desktop's usual 96 dots an inch.
QFont DefaultCanvasFont() {
  QFont font;
  font.setPixelSize(11);
  return font;
}

}  // namespace

TcwHyperLink::TcwHyperLink(QWidget* owner) : QWidget(owner), canvasFont_(DefaultCanvasFont()) {
  [[maybe_unused]] static const bool accessibleInstalled =
      (QAccessible::installFactory(MakeHyperLinkAccessible), true);

  SetURL(kDefaultUrl);
  SetCaption(kDefaultUrl);
  resize(100, 10);
  canvasFont_.setBold(true);
  canvasFont_.setUnderline(true);
  linkColor_ = clBlue;
  canvasFontColor_ = clBlue;
  SetColor(clBtnFace);
  setCursor(Qt::PointingHandCursor);
  update();
}

TcwHyperLink::~TcwHyperLink() = default;

void TcwHyperLink::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  setAccessibleName(platform::FromGbk(caption_));
  update();
}

void TcwHyperLink::SetURL(const std::string& url) {
  if (url == url_) return;
  url_ = url;
  setAccessibleDescription(platform::FromGbk(url_));
}

void TcwHyperLink::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  update();
}

void TcwHyperLink::SetFontName(const QString& name) {
  if (name == fontName_) return;
  fontName_ = name;
  canvasFont_.setFamily(name.isEmpty() ? DefaultCanvasFont().family() : name);
  update();
}

void TcwHyperLink::Follow() {
  platform::OpenUrl(url_);
  linkColor_ = clFuchsia;
}

void TcwHyperLink::paintEvent(QPaintEvent* event) {
  const QString text = platform::FromGbk(caption_);
  const QFontMetrics metrics(canvasFont_);
  // The link fits its caption whatever size it was given; a change shows
  // at the next paint, which this resize asks for.
  resize(metrics.horizontalAdvance(text) + 2 * kMarginX, metrics.height() + 2 * kMarginY);

  QPainter painter(this);
  painter.fillRect(event->rect(), ToQColor(color_, palette()));
  painter.setFont(canvasFont_);
  painter.setPen(ToQColor(canvasFontColor_, palette()));
  painter.drawText(kMarginX, kMarginY + metrics.ascent(), text);
}

void TcwHyperLink::enterEvent(QEnterEvent* event) {
  canvasFontColor_ = clRed;
  update();
  QWidget::enterEvent(event);
}

void TcwHyperLink::leaveEvent(QEvent* event) {
  canvasFontColor_ = linkColor_;
  update();
  QWidget::leaveEvent(event);
}

// The address opens on the press, not the release: releasing elsewhere
// does not take it back.
void TcwHyperLink::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    Follow();
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

}  // namespace shell
