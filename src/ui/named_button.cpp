#include "ui/named_button.h"

namespace pellmarsh {

QPushButton* NamedButton(const char* objectName, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setObjectName(objectName);
  button->setAutoDefault(false);
  return button;
}

}  // namespace pellmarsh
