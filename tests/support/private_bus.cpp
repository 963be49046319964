#include "support/private_bus.h"

#include <chrono>
#include <cstdlib>

#include "support/wait.h"

namespace pellmarsh::testing {

bool StartPrivateBus(ChildProcess& bus, const TempDir& dir, const char* addressVariable) {
  const std::string socket = dir.File("bus_socket");
  if (!bus.Start({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile",
                  "--address=unix:path=" + socket},
                 dir.File("bus.out"))) {
    return false;
  }
  if (!WaitFor([&] { return FileExistsOnDisk(socket); }, std::chrono::seconds(10))) {
    return false;
  }
  ::setenv(addressVariable, ("unix:path=" + socket).c_str(), 1);
  return true;
}

}  // namespace pellmarsh::testing
