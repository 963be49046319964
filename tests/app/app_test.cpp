#include "app/app.h"

#include <gtest/gtest.h>

#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/app_harness.h"

namespace pellmarsh {
namespace {

TEST(AppTest, AStartOnAnInterruptedQueueComesBackResetAndIsSavedSo) {
  testing::AppHarness harness;
  Item stored;
  Item& list = stored.FindOrCreateChild("_filelist");
  for (ItemStatus status : {kStatusTransferring, kStatusStopRequested, kStatusWaitingToRetry,
                            kStatusComplete, kStatusOnHold}) {
    Item& url = list.AddChild(std::make_unique<Item>());
    url.SetProp(key::kType, "_url");
    url.SetPropInt(key::kStatus, status);
    url.SetPropInt(key::kRetryCount, 4);
  }
  stored.SetPropInt(setting::kOffline, 1);
  testing::WriteFile(harness.dir.File("pmarsh.dat"), SaveTree(stored));

  {
    App& app = harness.Load();
    app.state().offline = true;  // as the window restores it from "parm-offline"
    app.StartWorkers();
    harness.StopWorkers();
    app.SaveTree();
  }

  Item saved;
  ASSERT_TRUE(LoadTree(saved, testing::ReadFile(harness.dir.File("pmarsh.dat"))).complete);
  const Item* savedList = saved.FindByName("_filelist");
  ASSERT_TRUE(savedList);
  ASSERT_EQ(savedList->ChildCount(), 5);
  const ItemStatus expectedStatus[] = {kStatusQueued, kStatusOnHold, kStatusQueued, kStatusComplete,
                                       kStatusOnHold};
  const int expectedRetries[] = {0, 0, 0, 0, 4};
  for (int index = 0; index < 5; ++index) {
    EXPECT_EQ(savedList->ChildAt(index)->GetPropInt(key::kStatus), expectedStatus[index]) << index;
    EXPECT_EQ(savedList->ChildAt(index)->GetPropInt(key::kRetryCount), expectedRetries[index])
        << index;
  }
  EXPECT_EQ(saved.GetProp(key::kName), "Top Folder");
  EXPECT_EQ(saved.GetProp(setting::kMaxCons), "2");
  EXPECT_TRUE(saved.FindChild("_soundconfig"));
  EXPECT_TRUE(harness.messages.shown.empty());
}

TEST(AppTest, OnlyTheFirstStartIsMarked) {
  testing::AppHarness harness;
  {
    App& app = harness.Open();
    app.LoadTree();
    EXPECT_TRUE(app.MarkFirstStart());
    app.SaveTree();
  }
  App& app = harness.Open();
  app.LoadTree();
  EXPECT_FALSE(app.MarkFirstStart());
}

// A new data file starts at full speed; one from before keeps Go Fast as it
// was, released when it predates the setting.
TEST(AppTest, OnlyANewDataFileStartsWithGoFastPressed) {
  struct Row {
    const char* what;
    const char* fileName;
    const char* stored;
    bool pressed;
  } rows[] = {
      {"no data file yet", nullptr, nullptr, true},
      {"stored released", DataFile::kFileName, "0", false},
      {"stored pressed", DataFile::kFileName, "1", true},
      {"a data file without the setting", DataFile::kFileName, nullptr, false},
      {"the old-name data file without it", DataFile::kOldFileName, nullptr, false},
  };
  for (const Row& row : rows) {
    testing::AppHarness harness;
    if (row.fileName) {
      Item stored;
      MarkFirstStart(stored, 1765000000);
      if (row.stored) {
        stored.SetProp(setting::kGoFast, row.stored);
      }
      testing::WriteFile(harness.dir.File(row.fileName), SaveTree(stored));
    }
    App& app = harness.Load();
    app.RestoreToggles();
    EXPECT_EQ(app.state().goFast, row.pressed) << row.what;
  }
}

TEST(AppTest, GoFastReleasedInANewDataFileStaysReleased) {
  testing::AppHarness harness;
  harness.Load().SetGoFast(false);
  harness.app().SaveTree();
  App& again = harness.Load();
  again.RestoreToggles();
  EXPECT_FALSE(again.state().goFast);
}

TEST(AppTest, ARequestedSaveIsWrittenByTheTimerAndTheRequestCleared) {
  testing::AppHarness harness;
  App& app = harness.Open();
  app.LoadTree();
  app.SaveIfRequested();
  EXPECT_FALSE(testing::FileExistsOnDisk(harness.dir.File("pmarsh.dat")));
  app.state().saveRequested = 1;
  app.SaveIfRequested();
  EXPECT_TRUE(testing::FileExistsOnDisk(harness.dir.File("pmarsh.dat")));
  EXPECT_EQ(app.state().saveRequested, 0);
}

TEST(AppTest, APausedRateTextShowsNothingMoving) {
  testing::AppHarness harness;
  App& app = harness.Open();
  app.state().activeCount = 1;
  app.state().recentRate = 1'400'000;  // the seconds before the pause
  app.state().paused = true;
  EXPECT_EQ(app.CurrentRateText(), "1 File at 0.0 KPM");
}

}  // namespace
}  // namespace pellmarsh
