#include "support/microsocks_server.h"

#include <vector>

#include "support/loopback_socket.h"
#include "support/wait.h"

namespace pellmarsh::testing {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(20);
// Another process may take the port between our probe and microsocks' bind.
constexpr int kStartAttempts = 3;

}  // namespace

::testing::AssertionResult MicrosocksServer::Start() {
  const std::string output = dir_.File("microsocks.out");
  std::string problem;
  for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
    port_ = ListenLoopback().LocalPort();
    std::vector<std::string> argv = {"/usr/bin/microsocks", "-i", "127.0.0.1", "-p",
                                     std::to_string(port_)};
    if (!user_.empty()) {
      argv.insert(argv.end(), {"-u", user_, "-P", password_});
    }
    if (!process_.Start(argv, output)) {
      return ::testing::AssertionFailure() << process_.error();
    }
    bool ready = false;
    WaitFor(
        [&] {
          return !process_.Running() ||
                 (ready = ConnectLoopback(port_, std::chrono::milliseconds(500)).valid());
        },
        kStartTimeout);
    if (ready && process_.Running()) {
      return ::testing::AssertionSuccess();
    }
    process_.Stop();
    problem = ReadFile(output);
    if (problem.find("Address already in use") == std::string::npos) {
      break;
    }
  }
  port_ = 0;
  return ::testing::AssertionFailure() << "microsocks did not come up: " << problem;
}

}  // namespace pellmarsh::testing
