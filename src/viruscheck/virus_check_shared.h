#pragma once

#include <atomic>
#include <cstdlib>
#include <deque>

#include "platform/thread_annotations.h"
#include "platform/wake_flag.h"
#include "store/item.h"
#include "store/tree.h"

namespace pellmarsh {

// The virus-check thread's stop handshake.
enum class VirusThreadState { kRunning, kStopRequested, kStopped };

// What the virus checker shares with the window and the scheduler, who fill
// its queue, stop it and let a halted checker go on.
class VirusCheckShared {
 public:
  // Finished items waiting for the virus checker, oldest first. Guarded by the
  // tree lock, which the caller names: a field here cannot name a tree it does
  // not hold.
  std::deque<Item*>& queue(TreeLock& treeLock) REQUIRES(treeLock) {
    if (!treeLock.HeldByThisThread()) {
      std::abort();  // a programming error, as for the tree's root
    }
    return queue_;
  }

  // The stop handshake: the window asks, the checker answers.
  std::atomic<VirusThreadState> thread{VirusThreadState::kRunning};
  // Set when checking cannot go on; holds the queue until the settings are confirmed.
  std::atomic<bool> halted{false};
  // Raised when the queue gains an item, a halt is lifted or the thread is
  // asked to stop: an idle checker sleeps until then.
  WakeFlag work;

 private:
  std::deque<Item*> queue_;
};

}  // namespace pellmarsh
