#include "desktop/native_messaging_bridge.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/native_messaging_host.h"
#include "desktop/qt_link_service.h"

extern char** environ;

namespace pellmarsh {
namespace {

// A program already running owns its name; one started here needs longer.
constexpr std::chrono::milliseconds kRunningPatience(500);
constexpr std::chrono::seconds kStartingPatience(20);

// In a session of its own and with none of the browser's pipes, so that the
// browser closing the host does not close the program.
bool StartProgram() {
  std::error_code error;
  const std::string program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = 0;
  const int result = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return result == 0;
}

std::vector<std::string> HandOn(const std::vector<std::string>& urls) {
  std::optional<std::vector<std::string>> problems =
      HandLinksToRunningInstance(urls, kRunningPatience);
  if (!problems && StartProgram()) {
    problems = HandLinksToRunningInstance(urls, kStartingPatience);
  }
  if (!problems) {
    return std::vector<std::string>(urls.size(),
                                    "Pellmarsh is not running and could not be started.");
  }
  return *problems;
}

}  // namespace

int RunNativeMessagingBridge() {
  return RunNativeMessagingHost(STDIN_FILENO, STDOUT_FILENO, HandOn);
}

}  // namespace pellmarsh
