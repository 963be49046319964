#pragma once

#include "platform/power.h"

namespace pellmarsh {

// NetworkManager and logind on the system bus. Every call waits a few
// seconds at most, so a stalled service cannot hold the caller for long.
class QtPowerControl final : public PowerControl {
 public:
  void HangUpDialUp() override;
  void PowerOff() override;
};

}  // namespace pellmarsh
