#pragma once

#include <chrono>
#include <string>

#include "afterdownload/after_download_shared.h"
#include "platform/clock.h"
#include "platform/thread_annotations.h"
#include "store/tree.h"

namespace pellmarsh {

// Runs the user's program after each finished download, one at a time, on a
// thread of its own and never under the tree lock, and writes what became of
// it into the item's log.
class AfterDownloadRunner {
 public:
  static constexpr std::chrono::milliseconds kTimeLimit = std::chrono::minutes(10);

  AfterDownloadRunner(Tree& tree, AfterDownloadShared& shared, Clock& clock,
                      std::chrono::milliseconds timeLimit = kTimeLimit)
      : tree_(tree), shared_(shared), clock_(clock), timeLimit_(timeLimit) {}

  // The thread body: runs while the shared thread state is kRunning, then
  // answers the stop request with kStopped. A stop ends a running program.
  void Loop();

  // Runs the program for the oldest ready item, if any.
  void RunNext();

 private:
  struct Outcome;
  static constexpr int kIdleWaitMs = 10'000;

  bool HasWork() EXCLUDES(tree_.lock());
  void Record(Item& item, const Outcome& outcome) EXCLUDES(tree_.lock());

  Tree& tree_;
  AfterDownloadShared& shared_;
  Clock& clock_;
  const std::chrono::milliseconds timeLimit_;
};

}  // namespace pellmarsh
