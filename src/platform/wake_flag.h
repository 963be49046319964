#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace pellmarsh {

// A flag one thread raises and another may sleep on: the sleep ends as soon
// as the flag goes up, so the sleeper need not wake again and again to look.
class WakeFlag {
 public:
  void Raise();
  // Lowers the flag; whether it was up.
  bool Take() { return raised_.exchange(false); }
  bool raised() const { return raised_; }
  // Up to `milliseconds` of real time, less once the flag is up.
  void WaitMs(int milliseconds);

 private:
  std::atomic<bool> raised_{false};
  std::mutex mutex_;
  std::condition_variable woken_;
};

}  // namespace pellmarsh
