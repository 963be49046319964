#include "desktop/native_messaging_bridge.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/native_messaging_host.h"
#include "desktop/qt_link_service.h"
#include "platform/process.h"

namespace pellmarsh {
namespace {

// A program already running owns its name; one started here needs longer.
constexpr std::chrono::milliseconds kRunningPatience(500);
constexpr std::chrono::seconds kStartingPatience(20);

// The program of this process, so that host and program are one install.
bool StartProgram() {
  std::error_code error;
  const std::string program = std::filesystem::read_symlink("/proc/self/exe", error);
  return !error && StartDetached(program);
}

std::vector<std::string> HandOn(const std::string& message,
                                const std::vector<HandedDownload>& downloads) {
  std::optional<std::vector<std::string>> problems =
      HandDownloadsToRunningInstance(message, kRunningPatience);
  if (!problems && StartProgram()) {
    problems = HandDownloadsToRunningInstance(message, kStartingPatience);
  }
  if (!problems) {
    return std::vector<std::string>(downloads.size(),
                                    "Pellmarsh is not running and could not be started.");
  }
  return *problems;
}

}  // namespace

int RunNativeMessagingBridge() {
  return RunNativeMessagingHost(STDIN_FILENO, STDOUT_FILENO, HandOn);
}

}  // namespace pellmarsh
