#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <system_error>

#include "support/wait.h"

extern char** environ;

namespace pellmarsh::testing {

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& outputPath) {
  Stop();
  std::vector<std::string> words = argv;
  std::vector<char*> pointers;
  for (std::string& word : words) {
    pointers.push_back(word.data());
  }
  pointers.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // A test runner may have blocked or ignored signals; the child must see SIGTERM.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  const int result =
      posix_spawn(&pid, pointers[0], &actions, &attributes, pointers.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    error_ = "cannot start " + argv[0] + ": " + std::generic_category().message(result);
    return false;
  }
  pid_ = pid;
  ended_ = false;
  status_ = 0;
  return true;
}

bool ChildProcess::Running() {
  if (pid_ < 0 || ended_) {
    return false;
  }
  int status = 0;
  const pid_t reaped = ::waitpid(pid_, &status, WNOHANG);
  if (reaped == pid_ || (reaped < 0 && errno == ECHILD)) {
    status_ = status;
    ended_ = true;
    return false;
  }
  return true;
}

std::string ChildProcess::ExitDescription() const {
  if (!ended_) {
    return "still running";
  }
  if (WIFEXITED(status_)) {
    return "exited with status " + std::to_string(WEXITSTATUS(status_));
  }
  if (WIFSIGNALED(status_)) {
    return "killed by signal " + std::to_string(WTERMSIG(status_)) + " (" +
           ::strsignal(WTERMSIG(status_)) + ")";
  }
  return "ended";
}

void ChildProcess::Stop(int signal, std::chrono::milliseconds grace) {
  if (!Running()) {
    return;
  }
  ::kill(pid_, signal);
  if (!WaitFor([&] { return !Running(); }, grace)) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = status;
    ended_ = true;
  }
}

}  // namespace pellmarsh::testing
