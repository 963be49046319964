#pragma once

#include <QIcon>

class QStyle;

namespace pellmarsh {

// The icon a button of the window shows beside its caption, by the button's
// object name: the desktop theme's, or Qt's own where the theme has none.
// An unknown name has none.
QIcon ButtonIcon(const char* objectName, const QStyle& style);

}  // namespace pellmarsh
