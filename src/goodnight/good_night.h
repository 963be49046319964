#pragma once

#include <atomic>

#include "platform/power.h"
#include "platform/thread_annotations.h"
#include "store/tree.h"

namespace pellmarsh {

// The Auto Shutdown countdown. Callable from any thread: the front end shows
// it on the window thread while the caller waits without the tree lock.
class ShutdownCountdown {
 public:
  virtual ~ShutdownCountdown() = default;
  // True when the countdown ran out or "Shutdown" was pressed; false on
  // Cancel, or at once when stop is set, so a closing program is never kept
  // waiting for an answer nobody can give.
  virtual bool Run(bool computerShutdown, const std::atomic<bool>& stop) = 0;
};

// The emptied queue with Good Night pressed: the countdown, then the hang-up
// and, when "parm-shutdownpc" asks for it, the power-off. Takes the tree lock
// only to read the setting.
void RunGoodNight(Tree& tree, ShutdownCountdown& countdown, PowerControl& power,
                  const std::atomic<bool>& stop) EXCLUDES(tree.lock());

}  // namespace pellmarsh
