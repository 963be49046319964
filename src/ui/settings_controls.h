#pragma once

#include <QString>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QWidget;

// The small controls the settings pages are made of.

namespace pellmarsh {

std::string Std(const QString& text);
QLineEdit* Edit(const char* objectName);
QLabel* Label(const char* objectName, const QString& text, QWidget* buddy = nullptr);
// An edit that shows `value` and keeps it up to date; `owner` outlives both.
QLineEdit* BoundEdit(QWidget* owner, const char* objectName, std::string& value);
// A list box is named for screen readers by its label's text; its buddy does not.
QListWidget* ListBox(const char* objectName, const QString& accessibleName);
// A note under a check box, indented to its text.
QLabel* Note(const char* objectName, const char* text);

}  // namespace pellmarsh
