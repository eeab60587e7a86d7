#pragma once
// CommandButton: the toolbar's button for one command's QAction. It takes
// the focus from Tab only, never from a click (the interval field keeps the
// focus, and a value typed there, when a button is clicked); Return and
// Enter press it as Space does; and assistive technology hears the action's
// shortcut as the button's key binding (Qt's own button interface reports
// only a shortcut set on the button itself).

#include <QToolButton>

class QAction;

namespace shell {

class CommandButton final : public QToolButton {
  Q_OBJECT
 public:
  CommandButton(QAction* command, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace shell
