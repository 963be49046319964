#include "notify/download_notices.h"

#include <gtest/gtest.h>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/fakes.h"

namespace pellmarsh {
namespace {

EndedDownload Done(std::string name, int64_t bytes) {
  return {true, name, "/dl/" + name, bytes, "", true};
}

EndedDownload Failed(std::string name, std::string error) {
  return {false, name, "/dl/" + name, 0, std::move(error), false};
}

TEST(EndedDownloadOf, OnlyItemsCompleteOrFailedForGoodAreToldAndOnlyWhileSwitchedOn) {
  Item root;
  root.SetPropInt(setting::kNotifyOn, 1);
  Item item;
  item.SetProp(key::kLocal, "/dl/big.iso");
  item.SetPropInt64(key::kReceived, 5'000'000'000);
  item.SetProp(key::kError, "gone");
  for (const int status : {kStatusQueued, kStatusWaitingToRetry, kStatusOnHold}) {
    item.SetPropInt(key::kStatus, status);
    EXPECT_FALSE(EndedDownloadOf(root, item)) << status;
  }
  item.SetPropInt(key::kStatus, kStatusComplete);  // unnamed: the file's name
  EXPECT_EQ(EndedDownloadOf(root, item),
            (EndedDownload{true, "big.iso", "/dl/big.iso", 5'000'000'000, "gone", true}));
  // An unchecked file is not offered for opening while virus checks are on.
  root.SetPropEnum(setting::kVirusCheck, VirusCheckMode::kManualOnly);
  item.SetProp(key::kName, "named.iso");
  item.SetPropInt(key::kStatus, kStatusFailed);
  EXPECT_EQ(EndedDownloadOf(root, item),
            (EndedDownload{false, "named.iso", "/dl/big.iso", 5'000'000'000, "gone", false}));
  item.SetPropInt(key::kAutoUpdate, 1);
  EXPECT_FALSE(EndedDownloadOf(root, item));
  item.SetPropInt(key::kAutoUpdate, 0);
  root.SetPropInt(setting::kNotifyOn, 0);
  EXPECT_FALSE(EndedDownloadOf(root, item));
}

TEST(NotificationsOf, OneOfAKindTellsItsFileAndManyAreSummed) {
  const std::pair<int64_t, const char*> sizes[] = {
      {999, "999 B"},
      {5'000'000'000, "5.0 GB"},
  };
  for (const auto& [bytes, text] : sizes) {
    EXPECT_EQ(NotificationsOf({Done("a.bin", bytes)}),
              (std::vector<Notification>{
                  {"Download complete", std::string("a.bin\n") + text, "/dl/a.bin", true}}));
  }
  EXPECT_EQ(NotificationsOf({Failed("b.zip", "Host Lookup Error: Host not found")}),
            (std::vector<Notification>{
                {"Download failed", "b.zip\nHost Lookup Error: Host not found", "", false}}));

  std::vector<EndedDownload> batch;
  for (const char* name : {"1", "2", "3", "4", "5", "6"}) {
    batch.push_back(Done(name, 10));
  }
  batch.push_back(Failed("x", "gone"));
  batch.push_back(Failed("y", "gone"));
  EXPECT_EQ(
      NotificationsOf(batch),
      (std::vector<Notification>{{"6 downloads complete", "1\n2\n3\n4\nand 2 more", "", false},
                                 {"2 downloads failed", "x\ny", "", false}}));
}

class DownloadNoticesTest : public ::testing::Test {
 protected:
  testing::FakeClock clock;
  testing::RecordingNotifications desktop;
  DownloadNotices notices{clock, desktop};
};

TEST_F(DownloadNoticesTest, DownloadsEndingCloseTogetherAreOneNotificationOnceQuiet) {
  EXPECT_FALSE(notices.MsUntilDue());
  clock.tick = 0xFFFF'FF00;  // the batch spans the tick counter's wrap
  for (int index = 0; index < 12; ++index) {
    notices.Add(Done("f" + std::to_string(index), 1));
    clock.tick += 500;
    notices.ShowIfDue(false);
  }
  EXPECT_TRUE(desktop.shown.empty());
  EXPECT_EQ(notices.MsUntilDue(), DownloadNotices::kQuietMs - 500);
  clock.tick += DownloadNotices::kQuietMs - 500;
  notices.ShowIfDue(false);
  ASSERT_EQ(desktop.shown.size(), 1u);
  EXPECT_EQ(desktop.shown[0].summary, "12 downloads complete");
  EXPECT_FALSE(notices.MsUntilDue());
}

TEST_F(DownloadNoticesTest, AStreamOfEndsIsToldAtTheLongestWaitAndAnActiveWindowDropsIt) {
  for (uint32_t waited = 0; waited < DownloadNotices::kLongestMs; waited += 1000) {
    notices.Add(Done("f", 1));
    clock.tick += 1000;
    notices.ShowIfDue(false);
  }
  ASSERT_EQ(desktop.shown.size(), 1u);
  EXPECT_EQ(desktop.shown[0].summary, "8 downloads complete");

  notices.Add(Failed("g", "gone"));
  clock.tick += DownloadNotices::kQuietMs;
  notices.ShowIfDue(true);
  EXPECT_FALSE(notices.MsUntilDue());
  notices.ShowIfDue(false);
  EXPECT_EQ(desktop.shown.size(), 1u);
}

}  // namespace
}  // namespace pellmarsh
