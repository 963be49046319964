#include "ui/window_power.h"

namespace pellmarsh {

WindowPower::WindowPower(App& app, DesktopNotifications& desktop)
    : metered_(app.state(), desktop) {}

void WindowPower::Start() {
  watch_.Start([this](bool metered) { metered_.ConnectionChanged(metered); });
}

void WindowPower::Update() {
  metered_.Update();
}

}  // namespace pellmarsh
