#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "store/item.h"

namespace pellmarsh {

// What the weekly plan sets for an hour.
enum class PlanHour : char { kFull = 'F', kBackground = 'B', kPaused = 'P' };

// The 168 hours of a week from Monday 00:00, as the settings keep them.
class WeekPlan {
 public:
  static constexpr int kHours = 7 * 24;

  // Any hour the text does not name well is full speed.
  static WeekPlan Parse(std::string_view text);
  std::string Format() const;

  PlanHour at(int hourOfWeek) const { return hours_[hourOfWeek]; }
  void set(int hourOfWeek, PlanHour hour) { hours_[hourOfWeek] = hour; }
  // From `hourOfWeek` on, the first hour set otherwise; none in a week.
  std::optional<int> NextChange(int hourOfWeek) const;

 private:
  std::array<PlanHour, kHours> hours_{};
};

// The hour of the week, from Monday 00:00, that a moment falls in by the
// local clock.
int HourOfWeek(int64_t unixTime);

// "Plan: background until 07:00": what the status bar says while the plan is
// followed; empty when it is not.
std::string PlanStatusText(const Item& root, int64_t unixTime);

// Applies the plan's hour as Go Fast and Pause would, once when it is
// switched on and again at every hour that starts (or that the clock jumps
// into); a button pressed meanwhile holds until then. Called under the tree
// lock once a second.
class WeekPlanFollower {
 public:
  void Follow(Item& root, AppState& state, int64_t unixTime);

 private:
  std::optional<int> applied_;  // the hour last applied
};

}  // namespace pellmarsh
