#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "platform/unique_fd.h"

extern char** environ;

namespace pellmarsh {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr auto kGraceBeforeKill = std::chrono::seconds(5);
constexpr int kReadsPerDrain = 16;
// What the C library searches when PATH is not set.
constexpr const char* kSearchWithoutPath = "/bin:/usr/bin";

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

namespace {

// What a run reads of the program's output, when it reads any.
struct OutputPipe {
  UniqueFd readEnd;
  // Closed once the program has its copy, so that its end is the output's end.
  UniqueFd writeEnd;
  size_t keepBytes = 0;
  std::string* kept = nullptr;

  // Reads some of what is there now, a bounded amount so that a program
  // writing without pause cannot hold the caller; false once the writers are
  // all gone.
  bool Drain() const {
    char buffer[4096];
    for (int read = 0; read < kReadsPerDrain; ++read) {
      const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
      if (got > 0) {
        const size_t room = keepBytes - std::min(keepBytes, kept->size());
        kept->append(buffer, std::min(room, static_cast<size_t>(got)));
        continue;
      }
      return got < 0 && (errno == EAGAIN || errno == EINTR);
    }
    return true;
  }
};

// Waits for the program started as `pid`, watching `stopWanted` and draining
// `output` as it goes.
void WaitForGroup(pid_t pid, const std::function<bool()>& stopWanted, const OutputPipe* output,
                  ProcessExit& result) {
  using SteadyClock = std::chrono::steady_clock;
  std::optional<SteadyClock::time_point> terminatedAt;
  bool pipeOpen = output != nullptr;
  for (;;) {
    int status = 0;
    const pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == pid) {
      result.exitCode = ExitCodeOf(status);
      result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      if (result.stopped) {
        ::kill(-pid, SIGKILL);  // what the program left behind goes with it
      }
      if (pipeOpen) {
        output->Drain();
      }
      return;
    }
    if (ended < 0 && errno != EINTR) {
      result.exitCode = -1;
      return;
    }
    if (!terminatedAt && stopWanted()) {
      result.stopped = true;
      ::kill(-pid, SIGTERM);
      terminatedAt = SteadyClock::now();
    } else if (terminatedAt && SteadyClock::now() - *terminatedAt > kGraceBeforeKill) {
      ::kill(-pid, SIGKILL);
    }
    // The pause between looks is spent waiting for output, when there is a pipe.
    pollfd watched{pipeOpen ? output->readEnd.get() : -1, POLLIN, 0};
    const int waitMs = static_cast<int>(kPollInterval.count());
    if (::poll(&watched, 1, waitMs) > 0 && pipeOpen) {
      pipeOpen = output->Drain();
    }
  }
}

ProcessExit Spawn(const std::vector<std::string>& argv, const std::function<bool()>& stopWanted,
                  posix_spawn_file_actions_t& actions, OutputPipe* output) {
  ProcessExit result;
  std::vector<char*> args;
  for (const std::string& word : argv) {
    args.push_back(const_cast<char*>(word.c_str()));
  }
  args.push_back(nullptr);
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
  if (output != nullptr) {
    output->writeEnd.Reset();
  }
  if (result.startError != 0) {
    return result;
  }
  result.started = true;
  WaitForGroup(pid, stopWanted, output, result);
  return result;
}

}  // namespace

ProcessExit RunProgram(const std::vector<std::string>& argv,
                       const std::function<bool()>& stopWanted) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  return Spawn(argv, stopWanted, actions, nullptr);
}

ProcessExit RunProgramCapturing(const std::vector<std::string>& argv,
                                const std::function<bool()>& stopWanted, size_t keepBytes,
                                std::string& output) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    ProcessExit failed;
    failed.startError = errno;
    return failed;
  }
  OutputPipe pipe{UniqueFd(ends[0]), UniqueFd(ends[1]), keepBytes, &output};
  // The program's end of the pipe blocks as a pipe normally does.
  ::fcntl(pipe.writeEnd.get(), F_SETFL, 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe.writeEnd.get(), 1);
  posix_spawn_file_actions_adddup2(&actions, pipe.writeEnd.get(), 2);
  return Spawn(argv, stopWanted, actions, &pipe);
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
