#pragma once

#include <QPushButton>
#include <QString>

namespace pellmarsh {

// A push button tests and screen readers find by its object name; Qt names it
// for screen readers from its caption. Enter presses only the dialog's default
// button, never whichever button last had the focus.
QPushButton* NamedButton(const char* objectName, const QString& caption);

}  // namespace pellmarsh
