#include "transfer/recent_rate.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

void RunSeconds(RecentRate& rate, int seconds, int64_t bytesEach) {
  for (int second = 0; second < seconds; ++second) {
    rate.Add(bytesEach);
    rate.EndSecond();
  }
}

TEST(RecentRate, AveragesTheSecondsSinceTheFirstByteWithinItsWindow) {
  RecentRate rate;
  RunSeconds(rate, 3, 0);  // connecting
  RunSeconds(rate, RecentRate::kWindowSeconds / 2, 1000);
  EXPECT_EQ(rate.BytesPerSecond(), 1000);
  RunSeconds(rate, RecentRate::kWindowSeconds, 3000);
  EXPECT_EQ(rate.BytesPerSecond(), 3000);
}

TEST(RecentRate, AStalledTransferHasNoRateUntilBytesComeAgain) {
  RecentRate rate;
  RunSeconds(rate, 10, 1000);
  RunSeconds(rate, RecentRate::kStallSeconds - 1, 0);
  EXPECT_GT(rate.BytesPerSecond(), 0);
  RunSeconds(rate, 1, 0);
  EXPECT_EQ(rate.BytesPerSecond(), 0);
  RunSeconds(rate, 1, 500);
  EXPECT_GT(rate.BytesPerSecond(), 0);
}

}  // namespace
}  // namespace pellmarsh
