#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QTimer;

namespace pellmarsh {

// "Pellmarsh: Auto Shutdown": counts down from 60 and accepts at 0 or on
// "Shutdown"; Cancel and Escape reject. The hang-up itself is the caller's.
// tickMs is the countdown's second; tests make it short.
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

}  // namespace pellmarsh
