#include "platform/wake_flag.h"

#include <chrono>

namespace pellmarsh {

void WakeFlag::Raise() {
  {
    // Under the lock, so a sleeper between its look and its wait still hears it.
    const std::lock_guard<std::mutex> lock(mutex_);
    raised_ = true;
  }
  woken_.notify_all();
}

void WakeFlag::WaitMs(int milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  woken_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return raised_.load(); });
}

}  // namespace pellmarsh
