#include "app/scheduler.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/fakes.h"

namespace pellmarsh {
namespace {

// A transfer that moves a fixed number of bytes per step and finishes after a
// given number of steps, leaving its item complete.
class ScriptedTransfer final : public Transfer {
 public:
  ScriptedTransfer(Item& item, int steps, int64_t bytesPerStep)
      : item_(&item), stepsLeft_(steps), bytesPerStep_(bytesPerStep) {}

  bool Step(size_t byteLimit) override {
    limits.push_back(byteLimit);
    stepBytes_ = 0;
    if (stepsLeft_ == 0) {
      return false;
    }
    stepBytes_ = std::min<int64_t>(bytesPerStep_, static_cast<int64_t>(byteLimit));
    if (--stepsLeft_ == 0 && item_) {
      item_->SetPropInt(key::kStatus, kStatusComplete);
    }
    return true;
  }
  int64_t stepBytes() const override { return stepBytes_; }
  Item* item() const override { return item_; }
  void DetachItem() override { item_ = nullptr; }
  Wait NextWait() const override { return {}; }

  std::vector<size_t> limits;

 private:
  Item* item_;
  int stepsLeft_;
  int64_t bytesPerStep_;
  int64_t stepBytes_ = 0;
};

class ScriptedFactory final : public TransferFactory {
 public:
  std::unique_ptr<Transfer> Create(Item& item) override {
    auto transfer = std::make_unique<ScriptedTransfer>(item, steps, bytesPerStep);
    created.push_back(transfer.get());
    return transfer;
  }
  std::optional<FullServer> ServerFull(Item& item) override {
    if (fullServerItem.empty() || item.GetProp(key::kName) != fullServerItem) {
      return std::nullopt;
    }
    return FullServer{"files.example", 4, 4};
  }
  void WalkBegins() override { ++walks; }
  bool TakeRoomMade() override { return std::exchange(roomMade, false); }

  int steps = 1'000'000;
  int64_t bytesPerStep = 0;
  std::vector<ScriptedTransfer*> created;
  std::string fullServerItem;  // the name of an item whose server has no connection left
  int walks = 0;
  bool roomMade = false;
};

class RecordingHandOffs final : public SchedulerHandOffs {
 public:
  void ExtractUrls(Item& item) override { extracted.push_back(&item); }
  void DownloadEnded(EndedDownload ended) override { endedNames.push_back(ended.name); }
  void InstallUpgrade(Item& item) override { upgrades.push_back(&item); }
  void RunAutomaticShutdown() override { ++shutdowns; }

  std::vector<Item*> extracted;
  std::vector<Item*> upgrades;
  std::vector<std::string> endedNames;
  int shutdowns = 0;
};

class SchedulerTest : public ::testing::Test {
 protected:
  SchedulerTest() {
    root.SetPropInt(setting::kMaxConEnable, 1);
    root.SetPropInt(setting::kMaxCons, 2);
    state.budget = 1'000'000;
    clock.tick = 1000;
  }

  Item& Queue(ItemStatus status = kStatusQueued) {
    Item& item = root.FindOrCreateChild("_filelist").AddChild(std::make_unique<Item>());
    item.SetProp(key::kType, "_url");
    item.SetPropInt(key::kStatus, status);
    return item;
  }

  // Passes until the clock has moved into the next second.
  void NextSecond() {
    clock.tick = (clock.tick / 1000 + 1) * 1000;
    scheduler.Pass();
  }

  // Passes within the same second until every transfer has been removed.
  void PassUntilNoTransfers() {
    for (int pass = 0; pass < 20 && TransferCount() != 0; ++pass) {
      scheduler.Pass();
    }
  }

  // The fixture holds the lock throughout; taking it here as well shows the
  // analysis that these reads are under it.
  size_t TransferCount() {
    TreeLockGuard lock(state.tree.lock());
    return state.activeTransfers.size();
  }
  std::deque<Item*> VirusQueue() {
    TreeLockGuard lock(state.tree.lock());
    return state.virusCheck.queue(state.tree.lock());
  }

  int Running() const {
    int running = 0;
    const_cast<Item&>(root).ForEach([&](Item& item) {
      const int status = item.GetPropInt(key::kStatus);
      running += status == kStatusTransferring || status == kStatusStarting;
    });
    return running;
  }

  AppState state{"/nonexistent"};
  // Held throughout: the scheduler runs on the fixture's thread and takes the
  // lock again there.
  Tree::Access access{state.tree};
  Item& root = access.root();
  ScriptedFactory factory;
  RecordingHandOffs handOffs;
  testing::RecordingEvents events;
  testing::FakeClock clock;
  Scheduler scheduler{state, factory, handOffs, events, clock};
};

TEST_F(SchedulerTest, TheLimitStartsTheYoungestFirstAndTheNextWhenOneLeaves) {
  std::vector<Item*> items;
  for (int index = 0; index < 5; ++index) {
    items.push_back(&Queue());
  }
  scheduler.Pass();
  EXPECT_EQ(items[4]->GetPropInt(key::kStatus), kStatusStarting);
  EXPECT_EQ(items[3]->GetPropInt(key::kStatus), kStatusStarting);
  EXPECT_EQ(items[2]->GetPropInt(key::kStatus), kStatusQueued);
  EXPECT_EQ(TransferCount(), 2u);
  EXPECT_EQ(state.saveRequested, 1);

  scheduler.Pass();  // same second: nothing new starts
  EXPECT_EQ(Running(), 2);
  items[4]->SetPropInt(key::kStatus, kStatusFailed);  // left the running codes
  NextSecond();
  EXPECT_EQ(items[2]->GetPropInt(key::kStatus), kStatusStarting);
  EXPECT_EQ(Running(), 2);
}

TEST_F(SchedulerTest, AFreedSlotIsFilledAtTheNextPassWithinTheSameSecond) {
  factory.steps = 3;
  std::vector<Item*> items;
  for (int index = 0; index < 6; ++index) {
    items.push_back(&Queue());
  }
  Item& waiting = Queue(kStatusWaitingToRetry);
  waiting.SetPropInt(key::kRetryTimeout, 30);
  // Every pass of one second: the limit of two holds throughout, and each
  // ended transfer is replaced without waiting for the clock.
  for (int pass = 0; pass < 40 && factory.created.size() < 6; ++pass) {
    scheduler.Pass();
    ASSERT_LE(Running(), 2) << "pass " << pass;
  }
  EXPECT_EQ(factory.created.size(), 6u);
  EXPECT_EQ(clock.tick, 1000u);
  // Only the once-a-second walk counts retry waits down.
  EXPECT_EQ(waiting.GetPropInt(key::kRetryTimeout), 29);

  state.offline = true;
  items[0]->SetPropInt(key::kStatus, kStatusQueued);
  state.startWalkDue.Raise();
  scheduler.Pass();
  EXPECT_EQ(items[0]->GetPropInt(key::kStatus), kStatusQueued);
}

TEST_F(SchedulerTest, TheProgressTotalsSaturateInsteadOfWrapping) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  const struct {
    const char* what;
    std::vector<std::pair<int64_t, int64_t>> sizeAndReceived;
    int64_t totalSize, totalReceived;
  } cases[] = {
      {"ordinary sizes add up", {{100, 10}, {50, 5}}, 150, 15},
      {"two huge sizes stop at the largest", {{kMax - 1, 7}, {kMax / 2, kMax}}, kMax, kMax},
      {"a negative size stops at the smallest",
       {{std::numeric_limits<int64_t>::min() + 1, 0}, {-2, 0}},
       std::numeric_limits<int64_t>::min(),
       0},
  };
  for (const auto& row : cases) {
    root.FindOrCreateChild("_filelist").ForEach([](Item& earlier) {
      earlier.SetPropInt(key::kStatus, kStatusOnHold);
    });
    for (const auto& [size, received] : row.sizeAndReceived) {
      Item& item = Queue(kStatusTransferring);
      item.SetPropInt64(key::kSize, size);
      item.SetPropInt64(key::kReceived, received);
    }
    NextSecond();
    EXPECT_EQ(state.totalSize, row.totalSize) << row.what;
    EXPECT_EQ(state.totalReceived, row.totalReceived) << row.what;
  }
}

TEST_F(SchedulerTest, ALimitOfZeroHoldsTheQueueButNotStartNow) {
  root.SetPropInt(setting::kMaxCons, 0);
  Item& queued = Queue(kStatusQueued);
  Item& startNow = Queue(kStatusStartNow);
  scheduler.Pass();
  NextSecond();
  EXPECT_EQ(queued.GetPropInt(key::kStatus), kStatusQueued);
  EXPECT_EQ(startNow.GetPropInt(key::kStatus), kStatusStarting);
}

TEST_F(SchedulerTest, AQueuedItemWaitsWhileItsServerHasAllItsConnections) {
  Item& waits = Queue(kStatusQueued);
  waits.SetProp(key::kName, "busy server");
  factory.fullServerItem = "busy server";
  Item& other = Queue(kStatusQueued);
  NextSecond();
  EXPECT_EQ(waits.GetPropInt(key::kStatus), kStatusQueued);
  EXPECT_EQ(other.GetPropInt(key::kStatus), kStatusStarting);
  factory.fullServerItem.clear();
  NextSecond();
  EXPECT_EQ(waits.GetPropInt(key::kStatus), kStatusStarting);
}

struct WaitingRow {
  const char* what;
  int runningAlready;
  bool offline;
  bool paused;
  bool serverFull;
  std::string shown;  // empty: it starts
  bool metered = false;
};

TEST_F(SchedulerTest, AQueuedItemThatCannotStartSaysWhyUntilItStarts) {
  const WaitingRow rows[] = {
      {"room everywhere: it starts", 0, false, false, false, ""},
      {"both connections in use", 2, false, false, false,
       "Waiting for a free connection (2 of 2 in use)"},
      {"its server has every connection it may", 1, false, false, true,
       "Waiting for a connection to files.example (4 of 4 in use)"},
      {"offline, even with room", 0, true, false, false, "Waiting: offline"},
      {"paused and the limit reached", 2, false, true, false, "Waiting: the queue is paused"},
      {"paused and offline", 0, true, true, false, "Waiting: the queue is paused"},
      {"paused with room: it starts, as a paused queue does", 0, false, true, false, ""},
      {"metered, even with room", 0, false, false, false, "Waiting: the connection is metered",
       true},
      {"metered and paused", 0, false, true, false, "Waiting: the queue is paused", true},
      {"metered and offline", 0, true, false, false, "Waiting: offline", true},
  };
  // Holds every item but `kept`, so that what ran before runs no more.
  const auto holdAllBut = [this](const Item* kept) {
    root.FindOrCreateChild("_filelist").ForEach([kept](Item& other) {
      if (&other != kept) {
        other.SetPropInt(key::kStatus, kStatusOnHold);
      }
    });
  };
  for (const WaitingRow& row : rows) {
    SCOPED_TRACE(row.what);
    holdAllBut(nullptr);
    for (int running = 0; running < row.runningAlready; ++running) {
      Queue(kStatusTransferring);
    }
    state.offline = row.offline;
    state.paused = row.paused;
    state.metered = row.metered;
    Item& item = Queue(kStatusQueued);
    item.SetProp(key::kName, "waiting");
    factory.fullServerItem = row.serverFull ? "waiting" : "";
    state.listDirty = false;
    NextSecond();
    if (row.shown.empty()) {
      EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusStarting);
      EXPECT_EQ(item.GetProp(key::kWaitingFor), "");
      continue;
    }
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusQueued);
    EXPECT_EQ(item.GetProp(key::kWaitingFor), row.shown);
    EXPECT_TRUE(state.listDirty);

    // The reason goes with the obstacle: the item starts and shows none.
    state.offline = false;
    state.paused = false;
    state.metered = false;
    factory.fullServerItem.clear();
    holdAllBut(&item);
    NextSecond();
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusStarting);
    EXPECT_EQ(item.GetProp(key::kWaitingFor), "");
  }
}

TEST_F(SchedulerTest, AQueueHeldOfflineIsWalkedAgainOnlyWhenAStatusOrTheHoldChanges) {
  state.offline = true;
  Item& first = Queue(kStatusQueued);
  NextSecond();
  ASSERT_EQ(first.GetProp(key::kWaitingFor), "Waiting: offline");
  const struct {
    const char* what;
    std::function<void()> change;
    bool walked;
  } rows[] = {
      {"nothing changed", [] {}, false},
      {"an item queued", [this] { Queue(kStatusQueued); }, true},
      {"nothing changed again", [] {}, false},
      {"a status written", [&first] { first.SetPropInt(key::kStatus, kStatusQueued); }, true},
      {"paused as well", [this] { state.paused = true; }, true},
      {"an item waiting to retry counts down",
       [this] { Queue(kStatusWaitingToRetry).SetPropInt(key::kRetryTimeout, 5); }, true},
      {"and goes on counting down", [] {}, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const int walksBefore = factory.walks;
    row.change();
    NextSecond();
    EXPECT_EQ(factory.walks > walksBefore, row.walked);
  }
  EXPECT_EQ(first.GetProp(key::kWaitingFor), "Waiting: the queue is paused");
}

TEST_F(SchedulerTest, ARoomMadeOnAServerStartsTheWaitingItemWithinTheSecond) {
  Item& waits = Queue(kStatusQueued);
  waits.SetProp(key::kName, "busy server");
  factory.fullServerItem = "busy server";
  NextSecond();
  ASSERT_EQ(waits.GetPropInt(key::kStatus), kStatusQueued);
  const int walks = factory.walks;
  scheduler.Pass();
  EXPECT_EQ(factory.walks, walks) << "no walk between seconds without a reason";

  factory.fullServerItem.clear();
  factory.roomMade = true;
  scheduler.Pass();
  EXPECT_EQ(factory.walks, walks + 1);
  EXPECT_EQ(waits.GetPropInt(key::kStatus), kStatusStarting);
}

TEST_F(SchedulerTest, OfflineStartsNothingAndRequeuesStartNow) {
  state.offline = true;
  Item& queued = Queue(kStatusQueued);
  Item& startNow = Queue(kStatusStartNow);
  scheduler.Pass();
  EXPECT_EQ(queued.GetPropInt(key::kStatus), kStatusQueued);
  EXPECT_EQ(startNow.GetPropInt(key::kStatus), kStatusQueued);
  EXPECT_EQ(TransferCount(), 0u);
}

TEST_F(SchedulerTest, ARetryWaitCountsDownThenQueues) {
  Item& waiting = Queue(kStatusWaitingToRetry);
  waiting.SetPropInt(key::kRetryTimeout, 3);
  root.SetPropInt(setting::kMaxCons, 0);  // keep it from starting once queued
  std::vector<std::pair<int, int>> seen;  // status and seconds left
  for (int second = 0; second < 4; ++second) {
    scheduler.Pass();
    seen.emplace_back(waiting.GetPropInt(key::kStatus), waiting.GetPropInt(key::kRetryTimeout));
    clock.tick += 1000;
  }
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{kStatusWaitingToRetry, 2},
                                                    {kStatusWaitingToRetry, 1},
                                                    {kStatusWaitingToRetry, 0},
                                                    {kStatusQueued, 0}}));
}

TEST_F(SchedulerTest, ABudgetOfZeroCreatesTransfersButStepsNone) {
  state.budget = 0;
  Queue();
  scheduler.Pass();
  ASSERT_EQ(factory.created.size(), 1u);
  for (int pass = 0; pass < 5; ++pass) {
    scheduler.Pass();
  }
  EXPECT_TRUE(factory.created[0]->limits.empty());
  EXPECT_EQ(clock.sleeps, std::vector<int>(6, 500));
}

TEST_F(SchedulerTest, TheRateIsTheMeanOfTheLastTenSeconds) {
  factory.bytesPerStep = 10'000;
  factory.steps = 1;
  Queue();
  scheduler.Pass();  // starts it and steps it once: 10,000 bytes this second
  NextSecond();
  EXPECT_EQ(state.rateAverage, 1000);
}

TEST_F(SchedulerTest, AnItemsRecentRateIsZeroWhileHeldAndGoesOnAfterwards) {
  factory.bytesPerStep = 10'000;
  Item& item = Queue();
  scheduler.Pass();  // starts it and steps it once
  NextSecond();      // closes that second
  EXPECT_EQ(item.GetPropInt64(key::kRecentRate), 10'000);
  scheduler.Pass();  // steps it again
  state.budget = 0;  // paused
  NextSecond();
  EXPECT_EQ(item.GetPropInt64(key::kRecentRate), 0);
  state.budget = 1'000'000;
  NextSecond();  // the paused second does not count
  EXPECT_EQ(item.GetPropInt64(key::kRecentRate), 10'000);
}

// The window's total and its rows read the same figures, written together.
TEST_F(SchedulerTest, TheTotalRecentRateIsTheSumOfTheItemsRates) {
  factory.bytesPerStep = 10'000;
  Item& first = Queue();
  Item& second = Queue();
  for (int pass = 0; pass < 3; ++pass) {
    scheduler.Pass();  // starts both and steps them in turn
  }
  NextSecond();
  const int64_t firstRate = first.GetPropInt64(key::kRecentRate);
  const int64_t secondRate = second.GetPropInt64(key::kRecentRate);
  EXPECT_GT(firstRate, 0);
  EXPECT_GT(secondRate, 0);
  EXPECT_EQ(state.recentRate, firstRate + secondRate);
  state.budget = 0;  // paused
  NextSecond();
  EXPECT_EQ(state.recentRate, 0);
}

TEST_F(SchedulerTest, ASmallBudgetCapsTheBytesOfOneStep) {
  state.budget = 1706;
  Queue();
  scheduler.Pass();
  scheduler.Pass();
  ASSERT_FALSE(factory.created[0]->limits.empty());
  EXPECT_EQ(factory.created[0]->limits[0], 1706u);
  state.budget = 10'000'000;
  scheduler.Pass();
  EXPECT_EQ(factory.created[0]->limits.back(), 65536u);
}

TEST_F(SchedulerTest, EmptyIsRaisedOnceAFewSecondsAfterTheLastTransferLeaves) {
  scheduler.Pass();
  clock.tick += 7000;
  scheduler.Pass();
  EXPECT_TRUE(events.raised.empty());  // an idle start raises nothing

  factory.steps = 1;
  Queue();
  NextSecond();  // starts and steps it: its item is complete
  PassUntilNoTransfers();
  EXPECT_EQ(TransferCount(), 0u);
  clock.tick += 5000;
  scheduler.Pass();
  EXPECT_TRUE(events.raised.empty());
  clock.tick += 1;
  scheduler.Pass();
  clock.tick += 60'000;
  scheduler.Pass();
  EXPECT_EQ(events.raised, std::vector<std::string>{"EMPTY"});
  EXPECT_EQ(handOffs.shutdowns, 0);
}

TEST_F(SchedulerTest, GoodNightShutsDownWhenTheQueueEmpties) {
  state.goodNight = true;
  factory.steps = 1;
  Queue();
  scheduler.Pass();
  PassUntilNoTransfers();
  clock.tick += 5001;
  scheduler.Pass();
  EXPECT_EQ(handOffs.shutdowns, 1);
}

TEST_F(SchedulerTest, FinishedDownloadsAreHandedOn) {
  root.SetPropEnum(setting::kVirusCheck, VirusCheckMode::kAutomatic);
  root.SetPropInt(setting::kAutoExtract, 1);
  root.SetPropInt(setting::kNotifyOn, 1);
  factory.steps = 1;
  Item& page = Queue();
  page.SetProp(key::kName, "page.html");
  Item& upgrade = Queue();
  upgrade.SetPropInt(key::kAutoUpdate, 1);
  scheduler.Pass();
  PassUntilNoTransfers();
  EXPECT_EQ(TransferCount(), 0u);
  const std::deque<Item*> virusQueue = VirusQueue();
  EXPECT_EQ(virusQueue.size(), 2u);
  EXPECT_EQ(handOffs.extracted.size(), 2u);
  EXPECT_EQ(handOffs.upgrades, std::vector<Item*>{&upgrade});
  EXPECT_EQ(handOffs.endedNames, std::vector<std::string>{"page.html"});
  EXPECT_EQ(state.saveRequested, 1);
  EXPECT_TRUE(state.sortPending);
  EXPECT_EQ(std::count(virusQueue.begin(), virusQueue.end(), &page), 1);
}

TEST_F(SchedulerTest, SpeedIconsRateEachTransferAgainstItsShareAndDecay) {
  factory.bytesPerStep = 50'000;
  Item& fast = Queue();
  scheduler.Pass();
  for (int pass = 0; pass < 5; ++pass) {
    scheduler.Pass();
  }
  NextSecond();
  EXPECT_GE(fast.GetPropInt(key::kSpeedFlag), static_cast<int>(SpeedFlag::kSlowest));
  EXPECT_LE(fast.GetPropInt(key::kSpeedFlag), static_cast<int>(SpeedFlag::kFastest));
  const int64_t before = factory.created[0]->recentBytes;
  state.budget = 0;
  NextSecond();
  EXPECT_EQ(factory.created[0]->recentBytes, before - before / 5);
}

}  // namespace
}  // namespace pellmarsh
