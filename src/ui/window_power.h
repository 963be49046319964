#pragma once

#include <memory>

#include "app/app.h"
#include "app/awake_keeper.h"
#include "app/metered_hold.h"
#include "desktop/qt_metered_watch.h"

namespace pellmarsh {

// What the window does with the system's network and power: the queue held
// while the connection is metered, and the computer kept awake while
// downloads run.
class WindowPower final {
 public:
  WindowPower(App& app, DesktopNotifications& desktop);

  // Follows the connection from now on.
  void Start();
  // The one-second follow-up of the settings and the running downloads.
  void Update();
  // `power` as Good Night calls it, with the hold let go first.
  PowerControl& ForGoodNight(PowerControl& power);

 private:
  MeteredHold metered_;
  QtMeteredWatch watch_;
  std::unique_ptr<SleepInhibitor> inhibitor_;
  AwakeKeeper awake_;
  std::unique_ptr<AwakeReleasingPower> goodNightPower_;
};

}  // namespace pellmarsh
