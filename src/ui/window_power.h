#pragma once

#include <memory>

#include "app/app.h"
#include "app/metered_hold.h"
#include "desktop/qt_metered_watch.h"

namespace pellmarsh {

// The window's part in the system's network: the queue held while the
// connection is metered.
class WindowPower final {
 public:
  WindowPower(App& app, DesktopNotifications& desktop);

  // Follows the connection from now on.
  void Start();
  // The one-second follow-up of the settings.
  void Update();

 private:
  MeteredHold metered_;
  QtMeteredWatch watch_;
};

}  // namespace pellmarsh
