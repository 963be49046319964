#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace pellmarsh::testing {

// Polls condition until it holds or timeout has passed; true when it held. The
// condition is asked once more at the deadline, so a slow last poll still counts.
inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                    std::chrono::milliseconds interval = std::chrono::milliseconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return condition();
    }
    std::this_thread::sleep_for(interval);
  }
  return true;
}

}  // namespace pellmarsh::testing
