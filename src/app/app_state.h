#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "store/item.h"

namespace pellmarsh {

// The state the window, the scheduler and the virus checker share. The tree lock
// guards the item tree and everything that points into it; the flags are atomic
// so that any thread may read them without it.
struct AppState {
  explicit AppState(std::string directory) : programDir(std::move(directory)) {}

  const std::string programDir;
  std::recursive_mutex treeLock;
  Item rootItem;

  std::atomic<bool> commandBusy{false};
  std::atomic<bool> saving{false};
  std::atomic<int> saveRequested{0};  // 0 idle, 1 asked by the scheduler, 2 being written
  std::atomic<bool> listDirty{false};
  std::atomic<bool> sortPending{false};

  std::atomic<bool> schedulerStop{false};
  std::atomic<bool> schedulerDone{false};
  std::atomic<int> virusState{0};  // 0 running, 1 stop requested, 2 stopped
  std::atomic<bool> virusHalted{false};

  std::atomic<bool> goFast{false};
  std::atomic<bool> paused{false};
  std::atomic<bool> goodNight{false};
  std::atomic<bool> offline{false};
  std::atomic<bool> noExitPrompt{false};

  std::atomic<int> activeCount{0};
  std::atomic<int> budget{0};  // bytes per second; 0 while paused
};

}  // namespace pellmarsh
