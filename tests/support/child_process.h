#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace pellmarsh::testing {

// A program a test starts (never through a shell) and is sure to stop: the
// destructor asks it to end, waits with a deadline and kills it as a last resort.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { Stop(); }

  // Starts argv[0] with standard input from /dev/null and standard output and
  // error appended to outputPath; false (with the reason in error()) if it could not.
  bool Start(const std::vector<std::string>& argv, const std::string& outputPath);

  // True while the program runs; reaps it once it has ended.
  bool Running();
  // "exited with status 1" or "killed by signal 11" once it has ended.
  std::string ExitDescription() const;
  const std::string& error() const { return error_; }
  pid_t pid() const { return pid_; }

  // Sends signal, waits up to grace for the exit, then SIGKILL. Harmless when
  // nothing runs.
  void Stop(int signal = SIGTERM, std::chrono::milliseconds grace = std::chrono::seconds(10));

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
  std::string error_;
};

}  // namespace pellmarsh::testing
