#pragma once

#include <array>
#include <cstdint>

namespace pellmarsh {

// A transfer's rate over its last seconds of running, for an estimate that
// follows a change of speed within seconds instead of averaging the whole
// download. Seconds before the first byte and seconds the transfer was held
// (paused) are not counted.
class RecentRate {
 public:
  static constexpr int kWindowSeconds = 20;
  // A transfer that brought nothing for this long is stalled.
  static constexpr int kStallSeconds = 5;

  void Add(int64_t bytes) { current_ += bytes; }
  // Closes the second that Add has been counting.
  void EndSecond();
  // Bytes per second over the window; 0 before any byte and while stalled.
  int64_t BytesPerSecond() const;

 private:
  std::array<int64_t, kWindowSeconds> seconds_{};
  int filled_ = 0;  // seconds in the window so far, up to kWindowSeconds
  int next_ = 0;    // the slot the next closed second goes to
  int64_t current_ = 0;
};

}  // namespace pellmarsh
