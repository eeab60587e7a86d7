#pragma once
// HyperlinkLabel: a label that draws its caption as a link and opens its URL
// when pressed. It fits its caption (text width + 6, text height + 2): that
// is its size hint, and a new caption or font resizes it at once and tells
// any layout. It turns red while the mouse is over it and, once pressed,
// stays fuchsia for the rest of its life. Tab reaches it (a focus frame
// shows where it is), and Return, Enter or Space open it as a press does.
//
// It draws with a font of its own (bold, underlined) on a background colour
// of its own; the widget's ordinary font() is not used.

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

namespace shell {

class HyperlinkLabel final : public QWidget {
  Q_OBJECT
 public:
  explicit HyperlinkLabel(QWidget* parent = nullptr);

  // Each write takes effect at once; writing the current value does nothing.
  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption);  // repaints
  const QString& Url() const { return url_; }
  void SetUrl(const QString& url);  // no repaint: nothing drawn changes
  // An invalid colour (the default) is the palette's button face.
  const QColor& Background() const { return background_; }
  void SetBackground(const QColor& color);  // repaints
  const QString& FontName() const { return fontName_; }
  void SetFontName(const QString& name);  // empty: the default font; repaints

  // Blue until the link is pressed, fuchsia ever after.
  const QColor& LinkColor() const { return linkColor_; }
  // The font the caption is drawn in, and its colour: LinkColor, or red
  // while the mouse is over the link.
  const QFont& DrawingFont() const { return drawingFont_; }
  const QColor& TextColor() const { return textColor_; }

  // What a left-button press does: hand Url to the desktop and mark the
  // link visited, without a repaint (the text stays red under the mouse).
  void Follow();

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QColor linkColor_;
  QString url_;
  QString caption_;
  QColor background_;
  QString fontName_;
  QFont drawingFont_;
  QColor textColor_;

  // The caption or its font changed: a new size hint, and the new size.
  void Refit();
};

}  // namespace shell
