#include "app/week_plan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "store/calendar.h"
#include "store/keys.h"

namespace pellmarsh {
namespace {

// Runs with the local clock in `zone`, restoring the one before.
class LocalZone {
 public:
  explicit LocalZone(const char* zone) {
    if (const char* before = std::getenv("TZ")) {
      before_ = before;
    }
    Set(zone);
  }
  ~LocalZone() { before_.empty() ? (::unsetenv("TZ"), ::tzset()) : Set(before_.c_str()); }
  static void Set(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }

 private:
  std::string before_;
};

// Monday 2026-12-07 is the first day of the week here.
int64_t At(int day, int hour, int minute = 0) {
  return UtcSeconds(2026, 12, 7, 0, 0, 0) + (day * 24 + hour) * 3600 + minute * 60;
}

// Mondays 00-07 background, Sunday 22-23 paused, the rest full speed.
void Plan(Item& root) {
  WeekPlan plan = WeekPlan::Parse("");
  for (int hour = 0; hour < 7; ++hour) {
    plan.set(hour, PlanHour::kBackground);
  }
  plan.set(6 * 24 + 22, PlanHour::kPaused);
  plan.set(6 * 24 + 23, PlanHour::kPaused);
  root.SetProp(setting::kWeekPlan, plan.Format());
  root.SetPropInt(setting::kWeekPlanOn, 1);
}

// The follower once a second as the scheduler calls it: each row is a moment
// the clock reads (in order, jumps included), a button the user may press
// just before it, and what Go Fast, Pause and the status bar say after it.
TEST(WeekPlan, EachHourThatStartsSetsGoFastAndPauseAndAButtonHoldsUntilThen) {
  const LocalZone utc("UTC");
  Item root;
  Plan(root);
  AppState state{"/nonexistent"};
  WeekPlanFollower follower;
  const struct {
    const char* what;
    int64_t now;
    int pressGoFast;  // -1 none
    bool goFast, paused;
    const char* status;
  } rows[] = {
      {"switched on on Sunday evening", At(6, 21, 30), -1, true, false,
       "Plan: full speed until 22:00"},
      {"the hour starts", At(6, 22), -1, true, true, "Plan: paused until 00:00"},
      {"across the week's end", At(7, 0, 0), -1, false, false, "Plan: background until 07:00"},
      {"Go Fast pressed holds within the hour", At(7, 0, 30), 1, true, false,
       "Plan: background until 07:00"},
      {"the next hour's start sets the plan's again", At(7, 1), -1, false, false,
       "Plan: background until 07:00"},
      {"the clock jumps back a day (a suspend in reverse)", At(6, 12), -1, true, false,
       "Plan: full speed until 22:00"},
      {"and forward over several hours", At(7, 5, 59), -1, false, false,
       "Plan: background until 07:00"},
      {"the day's boundary", At(7, 7), -1, true, false, "Plan: full speed until Sun 22:00"},
  };
  for (const auto& row : rows) {
    if (row.pressGoFast >= 0) {
      state.goFast = row.pressGoFast == 1;
    }
    follower.Follow(root, state, row.now);
    EXPECT_EQ(state.goFast, row.goFast) << row.what;
    EXPECT_EQ(state.paused, row.paused) << row.what;
    EXPECT_EQ(PlanStatusText(root, row.now), row.status) << row.what;
  }
}

TEST(WeekPlan, FollowsTheLocalClockThroughAZoneChangeAndNotAtAllWhileOff) {
  Item root;
  Plan(root);
  AppState state{"/nonexistent"};
  WeekPlanFollower follower;
  {
    // 06:30 UTC on Monday is 07:30 in Paris: full speed there.
    const LocalZone paris("Europe/Paris");
    follower.Follow(root, state, At(0, 6, 30));
    EXPECT_TRUE(state.goFast);
    EXPECT_EQ(PlanStatusText(root, At(0, 6, 30)), "Plan: full speed until Sun 22:00");
  }
  {
    const LocalZone utc("UTC");
    follower.Follow(root, state, At(0, 6, 30));
    EXPECT_FALSE(state.goFast);
    EXPECT_EQ(PlanStatusText(root, At(0, 6, 30)), "Plan: background until 07:00");
    root.SetPropInt(setting::kWeekPlanOn, 0);
    state.goFast = true;
    follower.Follow(root, state, At(0, 7, 30));
    follower.Follow(root, state, At(6, 22, 30));
    EXPECT_TRUE(state.goFast);
    EXPECT_FALSE(state.paused);
    EXPECT_EQ(PlanStatusText(root, At(0, 6, 30)), "");
  }
}

}  // namespace
}  // namespace pellmarsh
