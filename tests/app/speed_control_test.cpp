#include "app/speed_control.h"

#include <gtest/gtest.h>

#include "store/keys.h"
#include "support/fakes.h"

namespace pellmarsh {
namespace {

TEST(BudgetForLimit, KilobytesPerMinuteBecomeWholeBytesPerSecond) {
  EXPECT_EQ(BudgetForLimit(100), 1706);
  EXPECT_EQ(BudgetForLimit(60), 1024);
  EXPECT_EQ(BudgetForLimit(99999), 1706649);
  EXPECT_EQ(BudgetForLimit(0), 0);
  EXPECT_EQ(BudgetForLimit(-5), 0);
  EXPECT_EQ(BudgetForLimit(1e300), 2147483647);
}

TEST(RateText, CountsFilesAndShowsTruncatedTenthsOrBytes) {
  EXPECT_EQ(RateText(0, 5000, false), "");
  EXPECT_EQ(RateText(1, 1706, false), "1 File at 99.9 KPM");
  EXPECT_EQ(RateText(3, 5000, true), "3 Files at 5.0 kB/s");
  EXPECT_EQ(RateText(2, 0, false), "2 Files at 0.0 KPM");
}

class SpeedControlTest : public ::testing::Test {
 protected:
  SpeedControlTest() {
    state.tree.Lock()->SetPropDouble(setting::kHighSpeed, 99999);
    state.tree.Lock()->SetPropDouble(setting::kLowSpeed, 100);
  }

  AppState state{"/nonexistent"};
  testing::RecordingEvents events;
  SpeedControl speed{state, events};
};

TEST_F(SpeedControlTest, TheButtonsChooseTheBudgetAndTheText) {
  EXPECT_EQ(speed.UpdateSpeed({}), "");
  EXPECT_EQ(state.budget, 1706);
  state.goFast = true;
  EXPECT_EQ(speed.UpdateSpeed({}), "FAST");
  EXPECT_EQ(state.budget, 1706649);
  state.metered = true;
  EXPECT_EQ(speed.UpdateSpeed({}), "Paused: metered");
  EXPECT_EQ(state.budget, 0);
  state.paused = true;
  EXPECT_EQ(speed.UpdateSpeed({}), "Paused");
  EXPECT_EQ(state.budget, 0);
  state.offline = true;
  EXPECT_EQ(speed.UpdateSpeed({}), "OFFLINE");
}

TEST_F(SpeedControlTest, ChangesRaiseTheirEventButTheFirstTickDoesNot) {
  speed.UpdateSpeed({});
  EXPECT_TRUE(events.raised.empty());
  state.paused = true;
  speed.UpdateSpeed({});
  state.paused = false;
  speed.UpdateSpeed({});
  speed.UpdateSpeed({});
  state.goFast = true;
  speed.UpdateSpeed({});
  EXPECT_EQ(events.raised, (std::vector<std::string>{"PAUSE", "SLOW", "FAST"}));
}

TEST_F(SpeedControlTest, TheWindowRulesGrantFullSpeed) {
  state.tree.Lock()->SetPropEnum(setting::kSpeedControl, FullSpeedRule::kAlsoWhenFocused);
  EXPECT_EQ(speed.UpdateSpeed({true, false}), "FAST");
  EXPECT_EQ(speed.UpdateSpeed({false, false}), "");
  state.tree.Lock()->SetPropEnum(setting::kSpeedControl, FullSpeedRule::kAlsoWhenNotMinimised);
  EXPECT_EQ(speed.UpdateSpeed({false, false}), "FAST");
  events.raised.clear();
  EXPECT_EQ(speed.UpdateSpeed({false, true}), "");  // minimised
  EXPECT_EQ(events.raised, std::vector<std::string>{"SLOW"});
}

TEST_F(SpeedControlTest, ARuleFromALaterVersionGrantsNothingBeyondGoFast) {
  state.tree.Lock()->SetPropInt(setting::kSpeedControl, 7);
  EXPECT_EQ(speed.UpdateSpeed({true, false}), "");
}

TEST_F(SpeedControlTest, AnUnreadableLimitStopsTransfersInThatState) {
  state.tree.Lock()->SetProp(setting::kLowSpeed, "fast please");
  speed.UpdateSpeed({});
  EXPECT_EQ(state.budget, 0);
}

TEST_F(SpeedControlTest, FullSpeedWithoutALimitHoldsNothingBack) {
  state.tree.Lock()->SetPropDouble(setting::kHighSpeed, 0);
  state.goFast = true;
  speed.UpdateSpeed({});
  EXPECT_EQ(state.budget, kUnlimitedBudget);
}

TEST(ApplyOffline, AsksRunningTransfersToStopAndReleasesGoodNight) {
  AppState state("/nonexistent");
  state.goodNight = true;
  ApplyOffline(state, true);
  EXPECT_TRUE(state.offline);
  EXPECT_FALSE(state.goodNight);
  EXPECT_EQ(state.tree.Lock()->GetProp(setting::kOffline), "1");
  ApplyOffline(state, false);
  EXPECT_EQ(state.tree.Lock()->GetProp(setting::kOffline), "0");
}

}  // namespace
}  // namespace pellmarsh
