#include "ui/settings_controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

namespace pellmarsh {

std::string Std(const QString& text) {
  return text.toStdString();
}

QLineEdit* Edit(const char* objectName) {
  auto* edit = new QLineEdit;
  edit->setObjectName(objectName);
  return edit;
}

QLabel* Label(const char* objectName, const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setObjectName(objectName);
  if (buddy) {
    label->setBuddy(buddy);
  }
  return label;
}

QLineEdit* BoundEdit(QWidget* owner, const char* objectName, std::string& value) {
  QLineEdit* edit = Edit(objectName);
  edit->setText(QString::fromStdString(value));
  QObject::connect(edit, &QLineEdit::textChanged, owner,
                   [&value](const QString& text) { value = Std(text); });
  return edit;
}

QListWidget* ListBox(const char* objectName, const QString& accessibleName) {
  auto* list = new QListWidget;
  list->setObjectName(objectName);
  list->setAccessibleName(accessibleName);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  return list;
}

QLabel* Note(const char* objectName, const char* text) {
  QLabel* note = Label(objectName, text);
  note->setContentsMargins(22, 0, 0, 4);
  return note;
}

}  // namespace pellmarsh
