#include "ui/window_power.h"

#include "desktop/qt_sleep_inhibitor.h"

namespace pellmarsh {

WindowPower::WindowPower(App& app, DesktopNotifications& desktop)
    : metered_(app.state(), desktop),
      inhibitor_(MakeSleepInhibitor()),
      awake_(app.state(), *inhibitor_) {}

void WindowPower::Start() {
  watch_.Start([this](bool metered) { metered_.ConnectionChanged(metered); });
}

void WindowPower::Update() {
  metered_.Update();
  awake_.Update();
}

PowerControl& WindowPower::ForGoodNight(PowerControl& power) {
  goodNightPower_ = std::make_unique<AwakeReleasingPower>(power, awake_);
  return *goodNightPower_;
}

}  // namespace pellmarsh
