#pragma once

#include <atomic>
#include <deque>

#include "store/item.h"

namespace pellmarsh {

// The virus-check thread's stop handshake.
enum class VirusThreadState { kRunning, kStopRequested, kStopped };

// What the virus checker shares with the window and the scheduler, who fill
// its queue, stop it and let a halted checker go on.
struct VirusCheckShared {
  // Under the tree lock. Finished items waiting for the virus checker, oldest first.
  std::deque<Item*> queue;
  // The stop handshake: the window asks, the checker answers.
  std::atomic<VirusThreadState> thread{VirusThreadState::kRunning};
  // Set when checking cannot go on; holds the queue until the settings are confirmed.
  std::atomic<bool> halted{false};
};

}  // namespace pellmarsh
