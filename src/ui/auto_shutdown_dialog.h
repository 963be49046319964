#pragma once

#include <QDialog>
#include <atomic>

#include "desktop/qt_gui_queue.h"
#include "notify/good_night.h"

class QLabel;
class QLineEdit;
class QTimer;

namespace pellmarsh {

// "Pellmarsh: Auto Shutdown": counts down from 60 and accepts at 0 or on
// "Shutdown"; Cancel and Escape reject. The hang-up itself is the caller's.
class AutoShutdownDialog final : public QDialog {
 public:
  AutoShutdownDialog(bool computerShutdown, int tickMs, QWidget* parent = nullptr);
  int remaining() const { return remaining_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Tick();

  int remaining_ = 60;
  QLineEdit* secondsBox_ = nullptr;
  QTimer* tick_ = nullptr;
};

// Shows the countdown on the window thread for a worker thread that waits.
// Construct it on the window thread. tickMs is the countdown's second; tests
// make it short.
class QtShutdownCountdown final : public ShutdownCountdown {
 public:
  explicit QtShutdownCountdown(QWidget* parent, int tickMs = 1000)
      : parent_(parent), tickMs_(tickMs) {}
  bool Run(bool computerShutdown, const std::atomic<bool>& stop) override;

 private:
  QWidget* parent_;
  int tickMs_;
  QtGuiQueue guiQueue_;
};

}  // namespace pellmarsh
