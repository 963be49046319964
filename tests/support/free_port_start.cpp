#include "support/free_port_start.h"

#include "support/loopback_socket.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace pellmarsh::testing {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(20);
constexpr int kStartAttempts = 3;

}  // namespace

uint16_t StartOnFreePort(ChildProcess& process, const std::string& outputPath,
                         const std::function<std::vector<std::string>(uint16_t)>& argvFor,
                         std::string& problem) {
  for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
    const uint16_t port = ListenLoopback().LocalPort();
    if (!process.Start(argvFor(port), outputPath)) {
      problem = process.error();
      return 0;
    }
    bool ready = false;
    WaitFor(
        [&] {
          return !process.Running() ||
                 (ready = ConnectLoopback(port, std::chrono::milliseconds(500)).valid());
        },
        kStartTimeout);
    if (ready && process.Running()) {
      return port;
    }
    const bool ended = !process.Running();
    process.Stop();
    problem = ended ? process.ExitDescription() : "no connection within the deadline";
    if (ReadFile(outputPath).find("Address already in use") == std::string::npos) {
      break;
    }
  }
  return 0;
}

}  // namespace pellmarsh::testing
