#include "transfer/segments/connection_ramp.h"

#include <algorithm>

namespace pellmarsh {

ConnectionRamp::ConnectionRamp(int start, int most)
    : wanted_(std::clamp(start, 1, std::max(most, 1))), most_(std::max(most, 1)) {}

void ConnectionRamp::Note(uint32_t now, int flowing, int64_t bytes) {
  if (settled_) {
    return;
  }
  // A window counts only while every wanted part brings bytes: a part still
  // connecting, cut or given to another download would make the rate wrong.
  if (flowing != wanted_) {
    measuring_ = false;
    return;
  }
  if (!measuring_) {
    measuring_ = true;
    windowStart_ = now + kSettleMs;
    windowBytes_ = 0;
    return;
  }
  const auto elapsed = static_cast<int32_t>(now - windowStart_);
  if (elapsed < 0) {
    return;
  }
  windowBytes_ += bytes;
  if (elapsed < static_cast<int32_t>(kWindowMs)) {
    return;
  }
  measuring_ = false;
  const int64_t rate = windowBytes_ * 1000 / elapsed;
  if (lastRate_ >= 0 && rate * 100 < lastRate_ * (100 + kGainPercent)) {
    --wanted_;
    settled_ = true;
    return;
  }
  lastRate_ = rate;
  if (wanted_ >= most_) {
    settled_ = true;
    return;
  }
  ++wanted_;
}

}  // namespace pellmarsh
