#include "ui/status_row.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>

#include "ui/button_icons.h"

namespace pellmarsh {
namespace {

// A switched-on toggle in the selection colour: the style's own pressed look
// is too faint to tell at a glance.
constexpr const char* kCheckedToggleLook =
    "QPushButton:checked { background-color: palette(highlight);"
    " color: palette(highlighted-text); }";

QPushButton* Toggle(const char* objectName, const char* caption, const char* toolTip,
                    const QWidget& window) {
  QPushButton* toggle = IconButton(objectName, caption, toolTip, true, *window.style());
  toggle->setCheckable(true);
  toggle->setStyleSheet(kCheckedToggleLook);
  return toggle;
}

QLabel* SunkenText(const char* objectName, Qt::Alignment alignment) {
  auto* text = new QLabel;
  text->setObjectName(objectName);
  text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  text->setAlignment(alignment | Qt::AlignVCenter);
  text->setMinimumWidth(90);
  return text;
}

}  // namespace

StatusRow::StatusRow(App& app, QWidget& window)
    : app_(app),
      goFast_(Toggle("goFastButton", "Go &Fast",
                     "Download at the full-speed limit instead of the background limit", window)),
      pause_(Toggle("pauseButton", "P&ause",
                    "Hold every download where it is, its connection kept open", window)),
      offline_(Toggle("offlineButton", "&Offline",
                      "Stop every running download and start none while this is on", window)),
      goodNight_(Toggle("goodNightButton", "&Good Night",
                        "Once the queue has emptied, hang up the dial-up connection "
                        "(and switch the computer off when the settings say so)",
                        window)),
      speedText_(SunkenText("speedText", Qt::AlignHCenter)),
      rateText_(SunkenText("rateText", Qt::AlignRight)),
      progress_(new QProgressBar),
      layout_(new QHBoxLayout) {
  progress_->setObjectName("progressBar");
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setAccessibleName("Progress");
  for (QPushButton* toggle : {goFast_, pause_, offline_, goodNight_}) {
    layout_->addWidget(toggle);
  }
  // Toggled, not clicked: a screen reader's toggle action or a key switches the
  // program too, not just the button's look.
  QObject::connect(goFast_, &QPushButton::toggled, &window,
                   [this](bool on) { app_.SetGoFast(on); });
  QObject::connect(pause_, &QPushButton::toggled, &window,
                   [this](bool on) { app_.state().paused = on; });
  QObject::connect(offline_, &QPushButton::toggled, &window, [this](bool on) {
    ApplyOffline(app_.state(), on);
    goodNight_->setChecked(app_.state().goodNight);
  });
  QObject::connect(goodNight_, &QPushButton::toggled, &window,
                   [this](bool on) { app_.state().goodNight = on; });
  layout_->addWidget(speedText_);
  layout_->addWidget(rateText_);
  layout_->addWidget(progress_, 1);
}

QLayout* StatusRow::layout() const {
  return layout_;
}

void StatusRow::AllowGoodNight(bool dialUp) {
  goodNight_->setEnabled(dialUp);
}

void StatusRow::ShowRestoredToggles() {
  // The buttons only show what was restored; switching again would redo it.
  const QSignalBlocker quietGoFast(goFast_);
  const QSignalBlocker quietOffline(offline_);
  goFast_->setChecked(app_.state().goFast);
  offline_->setChecked(app_.state().offline);
}

void StatusRow::ShowPlannedToggles() {
  const QSignalBlocker quietGoFast(goFast_);
  const QSignalBlocker quietPause(pause_);
  goFast_->setChecked(app_.state().goFast);
  pause_->setChecked(app_.state().paused);
}

void StatusRow::ShowRates(const std::string& speedText, const std::string& rateText) {
  speedText_->setText(QString::fromStdString(speedText));
  rateText_->setText(QString::fromStdString(rateText));
}

void StatusRow::ShowProgress(int percent) {
  progress_->setValue(percent);
}

}  // namespace pellmarsh
