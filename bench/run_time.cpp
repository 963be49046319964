#include "run_time.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace pellmarsh::bench {
namespace {

double RunSecondsIn(const std::string& schedstat) {
  std::ifstream stat(schedstat);
  double nanoseconds = 0;
  stat >> nanoseconds;
  return nanoseconds / 1e9;
}

}  // namespace

double ProcessRunSeconds() {
  return ProcessRunSeconds(getpid());
}

double ProcessRunSeconds(pid_t process) {
  double seconds = 0;
  const std::string tasks = "/proc/" + std::to_string(process) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks)) {
    seconds += RunSecondsIn(task.path().string() + "/schedstat");
  }
  return seconds;
}

double ThreadRunSeconds(pid_t thread) {
  return RunSecondsIn("/proc/self/task/" + std::to_string(thread) + "/schedstat");
}

}  // namespace pellmarsh::bench
