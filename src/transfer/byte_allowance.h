#pragma once

#include <cstdint>

namespace pellmarsh {

// One download's own speed limit: the bytes it may bring now, which grow with
// the time that passes and are spent by its steps. A quarter second's worth
// at most is kept, so a download that waited cannot burst far past its rate.
class ByteAllowance {
 public:
  // Bytes that may come at `now` (milliseconds) at `perSecond`.
  int64_t Available(uint32_t now, int64_t perSecond);
  void Spend(int64_t bytes) { bytes_ -= bytes; }
  // Milliseconds until a byte may come, at least one.
  uint32_t MsUntilNextByte(int64_t perSecond) const;

 private:
  bool started_ = false;
  uint32_t last_ = 0;
  int64_t bytes_ = 0;
  int64_t milliBytes_ = 0;  // below a byte, carried to the next refill
};

}  // namespace pellmarsh
