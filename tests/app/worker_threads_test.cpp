#include "app/worker_threads.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

TEST(WorkerThreads, StopWaitsForBothHandshakesInOrder) {
  AppState state("/nonexistent");
  SystemClock clock;
  WorkerThreads workers(state, clock);
  workers.Start();
  EXPECT_TRUE(workers.running());
  EXPECT_FALSE(state.schedulerDone);
  EXPECT_EQ(state.virusState, 0);

  std::vector<std::pair<bool, int>> seen;  // (schedulerDone, virusState) at each poll
  workers.Stop([&] {
    seen.emplace_back(state.schedulerDone.load(), state.virusState.load());
    clock.SleepMs(100);
  });
  EXPECT_TRUE(state.schedulerDone);
  EXPECT_EQ(state.virusState, 2);
  EXPECT_FALSE(workers.running());
  // The virus checker is asked to stop only once the scheduler has answered.
  for (const auto& [schedulerDone, virusState] : seen) {
    EXPECT_TRUE(schedulerDone || virusState == 0);
  }
}

TEST(WorkerThreads, DestroyingRunningThreadsStopsThemFirst) {
  AppState state("/nonexistent");
  SystemClock clock;
  {
    WorkerThreads workers(state, clock);
    workers.Start();
  }
  EXPECT_TRUE(state.schedulerDone);
  EXPECT_EQ(state.virusState, 2);
}

}  // namespace
}  // namespace pellmarsh
