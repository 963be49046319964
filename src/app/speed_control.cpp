#include "app/speed_control.h"

#include <limits>

#include "store/byte_figures.h"
#include "store/item_status.h"
#include "store/keys.h"

namespace pellmarsh {

int BudgetForLimit(double kilobytesPerMinute) {
  // A huge or negative limit must not overflow the conversion.
  const double bytesPerSecond = kilobytesPerMinute * 1024.0 / 60.0;
  if (!(bytesPerSecond > 0)) {
    return 0;
  }
  return bytesPerSecond >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                           : static_cast<int>(bytesPerSecond);
}

int FullSpeedBudget(double kilobytesPerMinute) {
  return kilobytesPerMinute > 0 ? BudgetForLimit(kilobytesPerMinute) : kUnlimitedBudget;
}

std::string SpeedControl::UpdateSpeed(const WindowFocus& focus) {
  int high = 0;
  int low = 0;
  FullSpeedRule rule = FullSpeedRule::kGoFastOnly;
  {
    Tree::Access tree(state_.tree);
    const Item& root = tree.root();
    high = FullSpeedBudget(root.GetPropDouble(setting::kHighSpeed));
    low = BudgetForLimit(root.GetPropDouble(setting::kLowSpeed));
    rule = root.GetPropEnum(setting::kSpeedControl);
  }
  bool fast = state_.goFast;
  if ((rule == FullSpeedRule::kAlsoWhenFocused && focus.active) ||
      (rule == FullSpeedRule::kAlsoWhenNotMinimised && !focus.minimised)) {
    fast = true;
  }
  const bool paused = state_.paused || state_.metered;
  state_.budget = paused ? 0 : (fast ? high : low);

  const int newState = paused ? kSpeedPaused : (fast ? kSpeedFast : kSpeedSlow);
  if (speedState_ != kSpeedNone && newState != speedState_) {
    static constexpr const char* kEvents[] = {"PAUSE", "SLOW", "FAST"};
    events_.RaiseEvent(kEvents[newState]);
  }
  speedState_ = newState;

  if (state_.offline) {
    return "OFFLINE";
  }
  if (state_.paused) {
    return "Paused";
  }
  if (state_.metered) {
    return "Paused: metered";
  }
  return fast ? "FAST" : "";
}

std::string RateText(int activeCount, int64_t rateAverage, bool bytesPerSecond) {
  if (activeCount == 0) {
    return "";
  }
  return std::to_string(activeCount) + (activeCount == 1 ? " File at " : " Files at ") +
         RateInUnit(rateAverage, bytesPerSecond);
}

void ApplyOffline(AppState& state, bool offline) {
  state.offline = offline;
  Tree::Access tree(state.tree);
  tree->SetPropInt(setting::kOffline, offline ? 1 : 0);
  for (auto transfer = state.activeTransfers.rbegin(); transfer != state.activeTransfers.rend();
       ++transfer) {
    // Only a running item: one whose transfer has just ended keeps its outcome.
    Item* item = (*transfer)->item();
    const int status = item ? item->GetPropInt(key::kStatus) : kStatusOnHold;
    if (status == kStatusTransferring || status == kStatusStarting) {
      item->SetPropInt(key::kStatus, kStatusGoingOffline);
    }
  }
  if (offline) {
    state.goodNight = false;
  }
}

}  // namespace pellmarsh
