#include "store/load_reset.h"
#include "store/item_status.h"
#include "store/keys.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

struct ResetCase {
  const char* what;
  ItemStatus status;
  ItemStatus expectedStatus;
  bool retryCountCleared;
};

TEST(ResetItemOnLoad, InterruptedItemsComeBackQueuedOrOnHold) {
  const ResetCase cases[] = {
      {"transferring is queued again", kStatusTransferring, kStatusQueued, true},
      {"starting is queued again", kStatusStarting, kStatusQueued, true},
      {"start-now is queued", kStatusStartNow, kStatusQueued, true},
      {"going offline is queued", kStatusGoingOffline, kStatusQueued, true},
      {"a pending stop is on hold", kStatusStopRequested, kStatusOnHold, true},
      {"a pending pause is paused", kStatusPauseRequested, kStatusPaused, true},
      {"the other stop code is on hold", kStatusStopping, kStatusOnHold, true},
      {"a retry wait is queued", kStatusWaitingToRetry, kStatusQueued, true},
      {"complete stays", kStatusComplete, kStatusComplete, true},
      {"failed stays", kStatusFailed, kStatusFailed, true},
      {"clipped stays", kStatusClipped, kStatusClipped, true},
      {"on hold keeps its retry count", kStatusOnHold, kStatusOnHold, false},
  };
  for (const auto& row : cases) {
    Item item;
    item.SetPropInt(key::kStatus, row.status);
    item.SetPropInt(key::kRetryCount, 7);
    item.SetPropInt(key::kRetryTimeout, 40);
    item.SetPropInt(key::kRetryDelay, 30);
    item.SetProp(key::kWaitingFor, "Waiting: offline");  // the reason may be gone
    ResetItemOnLoad(item);
    EXPECT_EQ(item.GetProp(key::kWaitingFor), "") << row.what;
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.expectedStatus) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kRetryCount), row.retryCountCleared ? 0 : 7) << row.what;
    const bool waitCancelled = row.status == kStatusWaitingToRetry;
    EXPECT_EQ(item.GetPropInt(key::kRetryTimeout), waitCancelled ? 0 : 40) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kRetryDelay), waitCancelled ? 0 : 30) << row.what;
  }
}

TEST(ResetItemOnLoad, VirusCheckMarksAreCleared) {
  Item item;
  item.SetPropInt(key::kStatus, kStatusComplete);
  item.SetPropInt(key::kVirusChecking, 1);
  ResetItemOnLoad(item);
  EXPECT_EQ(item.GetPropInt(key::kVirusChecking), 0);
}

TEST(ResetItemOnLoad, ItemsWithoutStatusAreLeftAlone) {
  Item folder;
  folder.SetProp(key::kName, "_filelist");
  folder.ClearChanged();
  ResetItemOnLoad(folder);
  EXPECT_FALSE(folder.changed());
  EXPECT_EQ(folder.GetProp(key::kStatus), "");
}

}  // namespace
}  // namespace pellmarsh
