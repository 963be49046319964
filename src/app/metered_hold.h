#pragma once

#include "app/app_state.h"
#include "platform/desktop_notifications.h"

namespace pellmarsh {

// Holds the queue while the connection is metered, unless the settings let
// downloads run on one ("parm-downloadmetered"), and lets it go on by itself
// once it no longer is. The first hold of a run that keeps a download from
// moving is told on the desktop, as the window may not be in sight. Window
// thread only.
class MeteredHold {
 public:
  MeteredHold(AppState& state, DesktopNotifications& desktop) : state_(state), desktop_(desktop) {}

  // What the connection's watch reports.
  void ConnectionChanged(bool metered);
  // Follows the switch as the settings leave it, and the queue.
  void Update();

 private:
  AppState& state_;
  DesktopNotifications& desktop_;
  bool metered_ = false;
  bool told_ = false;
};

}  // namespace pellmarsh
