#pragma once

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <functional>

namespace pellmarsh {

// A key of a widget and what it does, as an action tests and screen readers
// find by its object name. It works while the focus is anywhere inside the
// widget (for a window: anywhere in it).
QAction* AddKeyAction(QWidget& owner, const char* objectName, const QString& caption,
                      const QList<QKeySequence>& keys, std::function<void()> run);

}  // namespace pellmarsh
