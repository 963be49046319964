#include "desktop/qt_shutdown_countdown.h"

#include <QTimer>
#include <optional>

namespace pellmarsh {

bool QtShutdownCountdown::Run(bool computerShutdown, const std::atomic<bool>& stop) {
  const std::optional<bool> accepted = guiQueue_.RunAndWait<bool>(
      [this, computerShutdown](const std::atomic<bool>& abandoned) {
        if (abandoned) {
          return false;
        }
        const std::unique_ptr<QDialog> dialog = makeDialog_(computerShutdown);
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, dialog.get(), [&dialog, &abandoned] {
          if (abandoned) {
            dialog->reject();
          }
        });
        watch.start(100);
        return dialog->exec() == QDialog::Accepted && !abandoned;
      },
      &stop);
  return accepted.value_or(false);
}

}  // namespace pellmarsh
