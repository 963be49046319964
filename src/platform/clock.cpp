#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace pellmarsh {

uint32_t SystemClock::TickCount() const {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t milliseconds =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(milliseconds);
}

int64_t SystemClock::UnixTime() const {
  return static_cast<int64_t>(std::time(nullptr));
}

void SystemClock::SleepMs(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace pellmarsh
