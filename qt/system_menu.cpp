#include "qt/system_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QPoint>

namespace {

const char kCommandProperty[] = "quietwalkCommand";

}  // namespace

SystemMenu::SystemMenu(QWidget* window) : QMenu(window) {
  setObjectName(QStringLiteral("systemMenu"));
  AppendString(kScClose, tr("&Close"));
  // Shown as the hint Windows shows; the window manager owns the key itself.
  Find(kScClose)->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
  Find(kScClose)->setShortcutContext(Qt::WidgetShortcut);
}

void SystemMenu::AppendSeparator() { addSeparator(); }

void SystemMenu::AppendString(unsigned command, const QString& text) {
  QAction* action = addAction(text);
  action->setProperty(kCommandProperty, command);
}

bool SystemMenu::ModifyString(unsigned command, const QString& text) {
  QAction* action = Find(command);
  if (!action) return false;
  action->setText(text);
  return true;
}

QString SystemMenu::ItemText(unsigned command) const {
  const QAction* action = Find(command);
  return action ? action->text() : QString();
}

unsigned SystemMenu::Command(const QAction* action) { return action ? action->property(kCommandProperty).toUInt() : 0; }

unsigned SystemMenu::Track(const QPoint& globalPosition) { return Command(exec(globalPosition)); }

QAction* SystemMenu::Find(unsigned command) const {
  const QList<QAction*> items = actions();
  for (QAction* action : items)
    if (!action->isSeparator() && Command(action) == command) return action;
  return nullptr;
}
