#include "app/worker_threads.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/fakes.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

class NoTransfers final : public TransferFactory {
 public:
  std::unique_ptr<Transfer> Create(Item&) override { return nullptr; }
};

class NoHandOffs final : public SchedulerHandOffs {
 public:
  void ExtractUrls(Item&) override {}
  void DownloadEnded(EndedDownload) override {}
  void InstallUpgrade(Item&) override {}
  void RunAutomaticShutdown() override {}
};

// An idle scheduler on the real clock, for the threads' handshakes.
struct IdleScheduler {
  AppState state{"/nonexistent"};
  SystemClock clock;
  NoTransfers transfers;
  NoHandOffs handOffs;
  testing::RecordingEvents events;
  Scheduler scheduler{state, transfers, handOffs, events, clock};
  testing::RecordingMessages messages;
  VirusChecker virusChecker{state.tree, state.virusCheck, state.listDirty, messages, events, clock};
  AfterDownloadRunner afterDownload{state.tree, state.afterDownload, clock};
};

TEST(WorkerThreads, StopWaitsForBothHandshakesInOrder) {
  IdleScheduler idle;
  AppState& state = idle.state;
  SystemClock& clock = idle.clock;
  WorkerThreads workers(state, idle.scheduler, idle.virusChecker, idle.afterDownload, clock);
  workers.Start();
  EXPECT_TRUE(workers.running());
  EXPECT_FALSE(state.schedulerDone);
  EXPECT_EQ(state.virusCheck.thread, VirusThreadState::kRunning);

  std::vector<std::pair<bool, VirusThreadState>> seen;  // (schedulerDone, virusState) at each poll
  workers.Stop([&] {
    seen.emplace_back(state.schedulerDone.load(), state.virusCheck.thread.load());
    clock.SleepMs(100);
  });
  EXPECT_TRUE(state.schedulerDone);
  EXPECT_EQ(state.virusCheck.thread, VirusThreadState::kStopped);
  EXPECT_FALSE(workers.running());
  // The virus checker is asked to stop only once the scheduler has answered.
  for (const auto& [schedulerDone, virusState] : seen) {
    EXPECT_TRUE(schedulerDone || virusState == VirusThreadState::kRunning);
  }
}

// Every clock that sleeps in real time, the window tests' included: one that
// slept on through a raise would hold each stop for the whole idle wait.
template <typename RealTimeClock>
class WakeFlagSleep : public ::testing::Test {};
using RealTimeClocks = ::testing::Types<SystemClock, testing::JumpClock>;
TYPED_TEST_SUITE(WakeFlagSleep, RealTimeClocks);

TYPED_TEST(WakeFlagSleep, ARaiseEndsAnotherThreadsLongSleepAtOnce) {
  WakeFlag flag;
  TypeParam clock;
  std::atomic<bool> asleep{false};
  std::atomic<bool> woke{false};
  std::thread sleeper([&] {
    asleep = true;
    clock.SleepMsUnless(60'000, flag);
    woke = true;
  });
  ASSERT_TRUE(testing::WaitFor([&] { return asleep.load(); }, std::chrono::seconds(10)));
  flag.Raise();
  EXPECT_TRUE(testing::WaitFor([&] { return woke.load(); }, std::chrono::seconds(10)));
  sleeper.join();
  EXPECT_TRUE(flag.Take());
  EXPECT_FALSE(flag.raised());
}

TEST(WorkerThreads, DestroyingRunningThreadsStopsThemFirst) {
  IdleScheduler idle;
  AppState& state = idle.state;
  {
    WorkerThreads workers(state, idle.scheduler, idle.virusChecker, idle.afterDownload, idle.clock);
    workers.Start();
  }
  EXPECT_TRUE(state.schedulerDone);
  EXPECT_EQ(state.virusCheck.thread, VirusThreadState::kStopped);
  EXPECT_EQ(state.afterDownload.thread, AfterDownloadThreadState::kStopped);
}

}  // namespace
}  // namespace pellmarsh
