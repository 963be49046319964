#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>

extern char** environ;

namespace pellmarsh {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr auto kGraceBeforeKill = std::chrono::seconds(5);
// What the C library searches when PATH is not set.
constexpr const char* kSearchWithoutPath = "/bin:/usr/bin";

void Nap() {
  const timespec pause{0, std::chrono::nanoseconds(kPollInterval).count()};
  ::nanosleep(&pause, nullptr);
}

int ExitCodeOf(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

std::string FindProgram(const std::string& program) {
  if (program.empty() || program.find('/') != std::string::npos) {
    return program;
  }
  const char* variable = std::getenv("PATH");
  const std::string path = variable ? variable : kSearchWithoutPath;
  for (size_t start = 0;;) {
    const size_t colon = path.find(':', start);
    const std::string directory = path.substr(start, colon - start);
    // An empty entry is the current folder.
    const std::string candidate = (directory.empty() ? "." : directory) + "/" + program;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string::npos) {
      return "";
    }
    start = colon + 1;
  }
}

ProcessExit RunProgram(const std::vector<std::string>& argv,
                       const std::function<bool()>& stopWanted) {
  ProcessExit result;
  std::vector<char*> args;
  for (const std::string& word : argv) {
    args.push_back(const_cast<char*>(word.c_str()));
  }
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Sockets, the data file and the instance lock stay ours.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  // A group of its own, so that a stop reaches what a wrapper script started too.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = -1;
  result.startError = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (result.startError != 0) {
    return result;
  }
  result.started = true;

  using SteadyClock = std::chrono::steady_clock;
  std::optional<SteadyClock::time_point> terminatedAt;
  for (;;) {
    int status = 0;
    const pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == pid) {
      result.exitCode = ExitCodeOf(status);
      if (result.stopped) {
        ::kill(-pid, SIGKILL);  // what the checker left behind goes with it
      }
      return result;
    }
    if (ended < 0 && errno != EINTR) {
      result.exitCode = -1;
      return result;
    }
    if (!terminatedAt && stopWanted()) {
      result.stopped = true;
      ::kill(-pid, SIGTERM);
      terminatedAt = SteadyClock::now();
    } else if (terminatedAt && SteadyClock::now() - *terminatedAt > kGraceBeforeKill) {
      ::kill(-pid, SIGKILL);
    }
    Nap();
  }
}

bool StartDetached(const std::string& path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = 0;
  const int result = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return result == 0;
}

}  // namespace pellmarsh
