#pragma once

#include <atomic>
#include <deque>
#include <vector>

#include "platform/thread_annotations.h"
#include "platform/wake_flag.h"
#include "store/item.h"
#include "store/tree.h"
#include "viruscheck/verdict_listener.h"

namespace pellmarsh {

// The after-download thread's stop handshake.
enum class AfterDownloadThreadState { kRunning, kStopRequested, kStopped };

// What the program after each download shares with the scheduler, who hands
// it finished items, the virus checker, who lets the checked ones on, and the
// window, who deletes items and stops the thread. Every item list here is
// guarded by the tree lock, which the caller names.
class AfterDownloadShared final : public VerdictListener {
 public:
  // A finished download: waits for its virus verdict first when `virusCheckFirst`.
  void Add(TreeLock& treeLock, Item& item, bool virusCheckFirst) REQUIRES(treeLock);
  // Only a clean file goes on; the log of any other says why the program did not run.
  void VerdictRecorded(TreeLock& treeLock, Item& item, VirusVerdict verdict, uint32_t tick) override
      REQUIRES(treeLock);
  // Before the item is deleted: nothing here may point at it afterwards.
  void Forget(TreeLock& treeLock, Item& item) REQUIRES(treeLock);

  // Takes the oldest waiting item as the one running now; nullptr when none waits.
  Item* TakeNext(TreeLock& treeLock) REQUIRES(treeLock);
  // Whether the item taken last is still there, and lets it go.
  bool FinishRunning(TreeLock& treeLock, Item& item) REQUIRES(treeLock);
  bool HasWork(TreeLock& treeLock) REQUIRES(treeLock);

  // The stop handshake: the window asks, the thread answers.
  std::atomic<AfterDownloadThreadState> thread{AfterDownloadThreadState::kRunning};
  // Raised when an item is ready or the thread is asked to stop.
  WakeFlag work;

 private:
  static void Check(TreeLock& treeLock);

  std::deque<Item*> ready_;
  std::vector<Item*> awaitingVerdict_;
  Item* running_ = nullptr;
};

}  // namespace pellmarsh
