#pragma once
// HyperlinkLabel: a label that shows its text as a link (bold, underlined,
// blue) and hands its URL to the desktop when pressed. It is red while the
// mouse is over it and, once opened, fuchsia for the rest of its life. It
// opens on the mouse press, not the release, and on Return, Enter or Space
// once Tab has reached it. Assistive technology sees a link named by its
// text, described by its URL and marked traversed once visited.

#include <QLabel>
#include <QString>

namespace shell {

class HyperlinkLabel final : public QLabel {
  Q_OBJECT
 public:
  HyperlinkLabel(const QString& text, const QString& url, QWidget* parent = nullptr);

  const QString& url() const { return url_; }
  bool visited() const { return visited_; }

  // Hands url() to the desktop and marks the link visited.
  void open();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString url_;
  bool visited_ = false;

  // The text's colour for the mouse and the visit as they are now.
  void ShowState();
};

}  // namespace shell
