#pragma once

namespace pellmarsh {

// Hanging up the dial-up links and switching the computer off. Each call
// may block for a few seconds: never make it holding the tree lock.
class PowerControl {
 public:
  virtual ~PowerControl() = default;
  // Hangs up every active dial-up connection, the last one first; failures
  // are silent.
  virtual void HangUpDialUp() = 0;
  // Asks the system to shut down and power off, without forcing other
  // programs closed.
  virtual void PowerOff() = 0;
};

}  // namespace pellmarsh
