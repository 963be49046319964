#include "app/week_plan.h"

#include <ctime>

#include "store/keys.h"

namespace pellmarsh {
namespace {

constexpr const char* kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

const char* StateText(PlanHour hour) {
  switch (hour) {
    case PlanHour::kBackground:
      return "background";
    case PlanHour::kPaused:
      return "paused";
    case PlanHour::kFull:
      break;
  }
  return "full speed";
}

std::string TwoDigits(int number) {
  return (number < 10 ? "0" : "") + std::to_string(number);
}

}  // namespace

WeekPlan WeekPlan::Parse(std::string_view text) {
  WeekPlan plan;
  plan.hours_.fill(PlanHour::kFull);
  for (size_t hour = 0; hour < text.size() && hour < kHours; ++hour) {
    if (text[hour] == 'B' || text[hour] == 'P') {
      plan.hours_[hour] = static_cast<PlanHour>(text[hour]);
    }
  }
  return plan;
}

std::string WeekPlan::Format() const {
  return std::string(reinterpret_cast<const char*>(hours_.data()), hours_.size());
}

std::optional<int> WeekPlan::NextChange(int hourOfWeek) const {
  for (int ahead = 1; ahead < kHours; ++ahead) {
    const int hour = (hourOfWeek + ahead) % kHours;
    if (hours_[hour] != hours_[hourOfWeek]) {
      return hour;
    }
  }
  return std::nullopt;
}

int HourOfWeek(int64_t unixTime) {
  const auto moment = static_cast<time_t>(unixTime);
  tm local{};
  localtime_r(&moment, &local);
  return (local.tm_wday + 6) % 7 * 24 + local.tm_hour;
}

std::string PlanStatusText(const Item& root, int64_t unixTime) {
  if (root.GetPropInt(setting::kWeekPlanOn) == 0) {
    return "";
  }
  const WeekPlan plan = WeekPlan::Parse(root.GetProp(setting::kWeekPlan));
  const int now = HourOfWeek(unixTime);
  std::string text = std::string("Plan: ") + StateText(plan.at(now));
  if (const std::optional<int> next = plan.NextChange(now)) {
    text += " until ";
    // Within a day the hour says enough.
    if ((*next - now + WeekPlan::kHours) % WeekPlan::kHours >= 24) {
      text += std::string(kDays[*next / 24]) + " ";
    }
    text += TwoDigits(*next % 24) + ":00";
  }
  return text;
}

void WeekPlanFollower::Follow(Item& root, AppState& state, int64_t unixTime) {
  if (root.GetPropInt(setting::kWeekPlanOn) == 0) {
    applied_.reset();
    return;
  }
  const int now = HourOfWeek(unixTime);
  if (applied_ == now) {
    return;
  }
  applied_ = now;
  const PlanHour hour = WeekPlan::Parse(root.GetProp(setting::kWeekPlan)).at(now);
  state.paused = hour == PlanHour::kPaused;
  if (hour != PlanHour::kPaused) {
    state.goFast = hour == PlanHour::kFull;
    root.SetPropInt(setting::kGoFast, state.goFast ? 1 : 0);
  }
}

}  // namespace pellmarsh
