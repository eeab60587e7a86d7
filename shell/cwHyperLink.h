#pragma once
// TcwHyperLink: a label that draws its caption as a link and opens its URL
// when pressed. It sizes itself to its caption each time it paints (text
// width + 6, text height + 2), turns red while the mouse is over it and,
// once pressed, stays fuchsia for the rest of its life.
//
// It draws with a surface of its own, a font and a brush colour, as a
// windowless control draws on its parent's canvas; the widget's ordinary
// font() is not used. Caption and URL are the component's 8-bit strings,
// GBK bytes, converted only to draw and to open.

#include <QFont>
#include <QString>
#include <QWidget>
#include <string>

#include "shell/colors.h"

namespace shell {

class TcwHyperLink final : public QWidget {
  Q_OBJECT
 public:
  explicit TcwHyperLink(QWidget* owner = nullptr);
  ~TcwHyperLink() override;

  // Each write takes effect at once; writing the current value does nothing.
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);  // repaints
  const std::string& URL() const { return url_; }
  void SetURL(const std::string& url);  // no repaint: nothing drawn changes
  TColor Color() const { return color_; }
  void SetColor(TColor color);  // the brush; repaints
  const QString& FontName() const { return fontName_; }
  void SetFontName(const QString& name);  // empty: the default font; repaints

  // Blue until the link is pressed, fuchsia ever after.
  TColor LinkColor() const { return linkColor_; }
  // The drawing surface: its font, and the font's colour (LinkColor, or red
  // while the mouse is over the link).
  const QFont& CanvasFont() const { return canvasFont_; }
  TColor CanvasFontColor() const { return canvasFontColor_; }

  // What a left-button press does: hand URL to the desktop and mark the
  // link visited, without a repaint (the text stays red under the mouse).
  void Follow();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  TColor linkColor_ = clBlue;
  std::string url_;
  std::string caption_;
  TColor color_ = 0;
  QString fontName_;
  QFont canvasFont_;
  TColor canvasFontColor_ = clBlack;
};

}  // namespace shell
