#include "shell/command_button.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QKeyEvent>

namespace shell {
namespace {

class CommandButtonAccessible final : public QAccessibleWidget {
 public:
  explicit CommandButtonAccessible(CommandButton* button)
      : QAccessibleWidget(button, QAccessible::Button) {}

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) return Button()->text();
    if (kind == QAccessible::Accelerator) return KeyBinding();
    return QAccessibleWidget::text(kind);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.pressed = Button()->isDown();
    return s;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name == pressAction()) Button()->click();
  }
  QStringList keyBindingsForAction(const QString& name) const override {
    if (name != pressAction() || KeyBinding().isEmpty()) return {};
    return {KeyBinding()};
  }

 private:
  QToolButton* Button() const { return static_cast<QToolButton*>(widget()); }
  QString KeyBinding() const {
    const QAction* command = Button()->defaultAction();
    return command ? command->shortcut().toString(QKeySequence::NativeText) : QString();
  }
};

QAccessibleInterface* MakeCommandButtonAccessible(const QString&, QObject* object) {
  auto* button = qobject_cast<CommandButton*>(object);
  return button ? new CommandButtonAccessible(button) : nullptr;
}

}  // namespace

CommandButton::CommandButton(QAction* command, QWidget* parent) : QToolButton(parent) {
  [[maybe_unused]] static const bool accessibleInstalled =
      (QAccessible::installFactory(MakeCommandButtonAccessible), true);
  setDefaultAction(command);
  setFocusPolicy(Qt::TabFocus);
}

void CommandButton::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    // As Space does: the button shows pressed for a moment, then acts.
    animateClick();
    event->accept();
    return;
  }
  QToolButton::keyPressEvent(event);
}

}  // namespace shell
