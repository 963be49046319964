#include "store/load_reset.h"
#include "store/item_status.h"
#include "store/keys.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

struct ResetCase {
  const char* what;
  int status;
  int expectedStatus;
  bool retryCountCleared;
};

TEST(ResetItemOnLoad, InterruptedItemsComeBackQueuedOrOnHold) {
  const ResetCase cases[] = {
      {"transferring is queued again", 100, 1, true},
      {"starting is queued again", 104, 1, true},
      {"start-now is queued", 101, 1, true},
      {"going offline is queued", 105, 1, true},
      {"a pending stop is on hold", 103, 0, true},
      {"the other stop code is on hold", 102, 0, true},
      {"a retry wait is queued", 5, 1, true},
      {"complete stays", 2, 2, true},
      {"failed stays", 3, 3, true},
      {"clipped stays", 6, 6, true},
      {"on hold keeps its retry count", 0, 0, false},
  };
  for (const auto& row : cases) {
    Item item;
    item.SetPropInt(key::kStatus, row.status);
    item.SetPropInt(key::kRetryCount, 7);
    item.SetPropInt(key::kRetryTimeout, 40);
    item.SetPropInt(key::kRetryDelay, 30);
    ResetItemOnLoad(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.expectedStatus) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kRetryCount), row.retryCountCleared ? 0 : 7) << row.what;
    const bool waitCancelled = row.status == 5;
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
