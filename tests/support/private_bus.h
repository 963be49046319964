#pragma once

#include <string>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace pellmarsh::testing {

// Starts a bus daemon of the test's own, with its socket in dir, and points
// addressVariable (DBUS_SESSION_BUS_ADDRESS or DBUS_SYSTEM_BUS_ADDRESS) at it,
// so the test's stand-in services never meet the desktop's. False if it did
// not come up within ten seconds.
bool StartPrivateBus(ChildProcess& bus, const TempDir& dir, const char* addressVariable);

}  // namespace pellmarsh::testing
