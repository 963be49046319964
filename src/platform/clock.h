#pragma once

#include <cstdint>

#include "platform/wake_flag.h"

namespace pellmarsh {

// Time as the program sees it; tests stand in with a clock they move by hand.
class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start, wrapping at 2^32 like the system tick count.
  virtual uint32_t TickCount() const = 0;
  // Seconds since 1970-01-01 00:00 UTC.
  virtual int64_t UnixTime() const = 0;
  virtual void SleepMs(int milliseconds) = 0;
  // SleepMs that ends early once `flag` is up. A clock moved by hand moves
  // the whole time unless the flag is already up.
  virtual void SleepMsUnless(int milliseconds, WakeFlag& flag) {
    if (!flag.raised()) {
      SleepMs(milliseconds);
    }
  }
};

class SystemClock final : public Clock {
 public:
  uint32_t TickCount() const override;
  int64_t UnixTime() const override;
  void SleepMs(int milliseconds) override;
  void SleepMsUnless(int milliseconds, WakeFlag& flag) override { flag.WaitMs(milliseconds); }
};

}  // namespace pellmarsh
