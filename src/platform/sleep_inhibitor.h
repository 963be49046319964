#pragma once

#include <string>

namespace pellmarsh {

// Keeps the system from sleeping, idle or suspended, while it is held. Its
// calls come one at a time, from any thread.
class SleepInhibitor {
 public:
  virtual ~SleepInhibitor() = default;
  // Asks for the hold, telling the system why; false when it refused or no
  // service answered. May block for a few seconds.
  virtual bool Take(const std::string& why) = 0;
  // Lets the system sleep again; nothing when none is held.
  virtual void Release() = 0;
};

}  // namespace pellmarsh
