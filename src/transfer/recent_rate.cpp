#include "transfer/recent_rate.h"

#include <algorithm>

namespace pellmarsh {

void RecentRate::EndSecond() {
  // Connecting and waiting for the first byte say nothing about the rate.
  if (filled_ == 0 && current_ == 0) {
    return;
  }
  seconds_[static_cast<size_t>(next_)] = current_;
  next_ = (next_ + 1) % kWindowSeconds;
  filled_ = std::min(filled_ + 1, kWindowSeconds);
  current_ = 0;
}

int64_t RecentRate::BytesPerSecond() const {
  int64_t sum = 0;
  int64_t latest = 0;
  for (int age = 0; age < filled_; ++age) {
    const int64_t bytes =
        seconds_[static_cast<size_t>((next_ - 1 - age + kWindowSeconds) % kWindowSeconds)];
    sum += bytes;
    if (age < kStallSeconds) {
      latest += bytes;
    }
  }
  return latest == 0 ? 0 : sum / filled_;
}

}  // namespace pellmarsh
