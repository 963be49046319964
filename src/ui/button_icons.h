#pragma once

#include <QIcon>

class QPushButton;
class QStyle;

namespace pellmarsh {

// The icon a button of the window shows beside its caption, by the button's
// object name: the desktop theme's, or Qt's own where the theme has none.
// An unknown name has none.
QIcon ButtonIcon(const char* objectName, const QStyle& style);

// A named button of the window with its icon and tool tip.
QPushButton* IconButton(const char* objectName, const char* caption, const char* toolTip,
                        bool enabled, const QStyle& style);

}  // namespace pellmarsh
