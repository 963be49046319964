#pragma once

#include <memory>

#include "app/app.h"
#include "desktop/qt_shutdown_countdown.h"
#include "ui/desktop_probe.h"
#include "ui/upgrade_installer.h"
#include "ui/window_desk.h"
#include "ui/window_notices.h"
#include "ui/window_power.h"

class QWidget;

namespace pellmarsh {

// What the background work hands the desktop through the window: the notices
// of ended downloads, Good Night's countdown and power-off and the install of
// a finished upgrade; with the follow-up of the network and the power.
class WindowHandOffs final {
 public:
  // `probe` (its power, countdown second and file manager) is read here; the
  // window outlives this.
  WindowHandOffs(App& app, QWidget& window, ItemCommands& commands, WindowDesk& desk,
                 const DesktopProbe& probe, UpgradeInstaller::Desk upgradeDesk);

  // Before the worker threads start.
  void Connect();
  // For the notices that need no batching.
  DesktopNotifications& desktop() { return notices_.desktop(); }
  WindowPower& power() { return power_; }
  UpgradeInstaller& upgrades() { return upgrades_; }

 private:
  App& app_;
  PowerControl* probePower_;
  WindowNotices notices_;
  WindowPower power_;
  QtShutdownCountdown countdown_;
  UpgradeInstaller upgrades_;
  std::unique_ptr<PowerControl> ownPower_;
};

}  // namespace pellmarsh
