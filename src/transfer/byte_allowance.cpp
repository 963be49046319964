#include "transfer/byte_allowance.h"

#include <algorithm>

namespace pellmarsh {

int64_t ByteAllowance::Available(uint32_t now, int64_t perSecond) {
  const int64_t most = std::max<int64_t>(perSecond / 4, 1);
  if (!started_) {
    started_ = true;
    last_ = now;
    bytes_ = most;
    return bytes_;
  }
  const int64_t earned = int64_t{now - last_} * perSecond + milliBytes_;
  last_ = now;
  bytes_ = std::min(bytes_ + earned / 1000, most);
  milliBytes_ = bytes_ == most ? 0 : earned % 1000;
  return bytes_;
}

uint32_t ByteAllowance::MsUntilNextByte(int64_t perSecond) const {
  const int64_t missing = std::max<int64_t>(1 - bytes_, 0) * 1000 - milliBytes_;
  return static_cast<uint32_t>(std::max<int64_t>(missing / std::max<int64_t>(perSecond, 1), 1));
}

}  // namespace pellmarsh
