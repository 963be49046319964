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
  double seconds = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    seconds += RunSecondsIn(task.path().string() + "/schedstat");
  }
  return seconds;
}

double ThreadRunSeconds(pid_t thread) {
  return RunSecondsIn("/proc/self/task/" + std::to_string(thread) + "/schedstat");
}

}  // namespace pellmarsh::bench
