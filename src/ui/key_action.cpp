#include "ui/key_action.h"

#include <QWidget>

namespace pellmarsh {

QAction* AddKeyAction(QWidget& owner, const char* objectName, const QString& caption,
                      const QList<QKeySequence>& keys, std::function<void()> run) {
  auto* action = new QAction(caption, &owner);
  action->setObjectName(objectName);
  action->setShortcuts(keys);
  action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  QObject::connect(action, &QAction::triggered, &owner, std::move(run));
  owner.addAction(action);
  return action;
}

}  // namespace pellmarsh
