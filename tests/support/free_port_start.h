#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace pellmarsh::testing {

// Starts a server on 127.0.0.1 on a port probed free here: `argvFor` gives
// its command line for the port (and may write its configuration), its output
// goes to outputPath. Waits, with a deadline, until the port takes
// connections. Another process may take the port between the probe and the
// server's bind; then, as its output says, another port is tried. Returns
// the port, or 0 with the reason in `problem`.
uint16_t StartOnFreePort(ChildProcess& process, const std::string& outputPath,
                         const std::function<std::vector<std::string>(uint16_t)>& argvFor,
                         std::string& problem);

}  // namespace pellmarsh::testing
