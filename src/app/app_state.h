#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "store/item.h"
#include "transfer/transfer.h"

namespace pellmarsh {

// The virus-check thread's stop handshake.
enum class VirusThreadState { kRunning, kStopRequested, kStopped };

// The state the window, the scheduler and the virus checker share. The tree lock
// guards the item tree and everything that points into it; the flags are atomic
// so that any thread may read them without it.
struct AppState {
  explicit AppState(std::string directory) : programDir(std::move(directory)) {}
  // The transfers go first: they may still point into the tree.
  ~AppState() {
    std::lock_guard lock(treeLock);
    activeTransfers.clear();
  }

  const std::string programDir;
  std::recursive_mutex treeLock;
  Item rootItem;
  // Under the tree lock. Every transfer that exists, in start order; changed by
  // the scheduler thread only.
  std::vector<std::unique_ptr<Transfer>> activeTransfers;
  // Under the tree lock. Finished items waiting for the virus checker, oldest first.
  std::deque<Item*> virusQueue;

  std::atomic<bool> commandBusy{false};
  std::atomic<bool> saving{false};
  std::atomic<int> saveRequested{0};  // a SaveRequest
  std::atomic<bool> listDirty{false};
  std::atomic<bool> sortPending{false};

  std::atomic<bool> schedulerStop{false};
  std::atomic<bool> schedulerDone{false};
  std::atomic<VirusThreadState> virusState{VirusThreadState::kRunning};
  std::atomic<bool> virusHalted{false};

  std::atomic<bool> goFast{false};
  std::atomic<bool> paused{false};
  std::atomic<bool> goodNight{false};
  std::atomic<bool> offline{false};
  std::atomic<bool> noExitPrompt{false};

  std::atomic<int> activeCount{0};
  std::atomic<int64_t> totalSize{0};
  std::atomic<int64_t> totalReceived{0};
  std::atomic<int64_t> rateAverage{0};  // bytes per second over the last ten seconds
  std::atomic<int> budget{0};           // bytes per second; 0 while paused
};

}  // namespace pellmarsh
