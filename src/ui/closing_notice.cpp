#include "ui/closing_notice.h"

#include <QApplication>

namespace pellmarsh {

ClosingNotice::ClosingNotice() : QWidget(nullptr, Qt::Dialog | Qt::WindowTitleHint) {
  setObjectName("closingNotice");
  setWindowTitle("Pellmarsh Closing....");
  setFixedSize(220, 1);
}

void ClosingNotice::ShowNow() {
  show();
  QApplication::processEvents();
}

}  // namespace pellmarsh
