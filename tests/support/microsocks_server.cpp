#include "support/microsocks_server.h"

#include <vector>

#include "support/free_port_start.h"

namespace pellmarsh::testing {

::testing::AssertionResult MicrosocksServer::Start() {
  const std::string output = dir_.File("microsocks.out");
  std::string problem;
  port_ = StartOnFreePort(
      process_, output,
      [&](uint16_t port) {
        std::vector<std::string> argv = {"/usr/bin/microsocks", "-i", "127.0.0.1", "-p",
                                         std::to_string(port)};
        if (!user_.empty()) {
          argv.insert(argv.end(), {"-u", user_, "-P", password_});
        }
        return argv;
      },
      problem);
  if (port_ != 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "microsocks did not come up: " << problem << "\n"
                                       << ReadFile(output);
}

}  // namespace pellmarsh::testing
