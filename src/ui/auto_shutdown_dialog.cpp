#include "ui/auto_shutdown_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace pellmarsh {

AutoShutdownDialog::AutoShutdownDialog(bool computerShutdown, int tickMs, QWidget* parent)
    : QDialog(parent) {
  setObjectName("autoShutdownDialog");
  setWindowTitle("Pellmarsh: Auto Shutdown");
  auto* text = new QLabel(
      "Pellmarsh's downloading queue is empty.  Since you have the Good Night button pressed, "
      "Pellmarsh is automatically shutting down.  Press ESC to cancel.");
  text->setObjectName("shutdownText");
  text->setWordWrap(true);
  secondsBox_ = new QLineEdit(QString::number(remaining_));
  secondsBox_->setObjectName("secondsBox");
  secondsBox_->setReadOnly(true);
  secondsBox_->setAlignment(Qt::AlignRight);
  secondsBox_->setMaximumWidth(48);
  secondsBox_->setAccessibleName("Seconds left");
  auto* label = new QLabel(computerShutdown ? "seconds until computer shutdown."
                                            : "seconds until dial-up networking shutdown.");
  label->setObjectName("secondsLabel");
  auto* shutdown = new QPushButton("Shutdown");
  shutdown->setObjectName("shutdownButton");
  shutdown->setDefault(true);
  auto* cancel = new QPushButton("Cancel");
  cancel->setObjectName("cancelButton");
  connect(shutdown, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* countRow = new QHBoxLayout;
  countRow->addWidget(secondsBox_);
  countRow->addWidget(label, 1);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch(1);
  buttonRow->addWidget(shutdown);
  buttonRow->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addLayout(countRow);
  layout->addLayout(buttonRow);
  setMinimumWidth(380);

  tick_ = new QTimer(this);
  tick_->setInterval(tickMs);
  connect(tick_, &QTimer::timeout, this, &AutoShutdownDialog::Tick);
}

void AutoShutdownDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  tick_->start();
}

void AutoShutdownDialog::Tick() {
  --remaining_;
  secondsBox_->setText(QString::number(remaining_));
  if (remaining_ <= 0) {
    tick_->stop();
    accept();
  }
}

}  // namespace pellmarsh
