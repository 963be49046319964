#pragma once

#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "notify/events.h"

namespace pellmarsh {

enum SpeedState : int { kSpeedNone = -1, kSpeedPaused = 0, kSpeedSlow = 1, kSpeedFast = 2 };

// What the window knows of itself for the "parm-speedcontrol" rules.
struct WindowFocus {
  bool active = false;  // the main window is the active window
  bool minimised = false;
};

// Bytes per second for a limit in kilobytes per minute, truncated.
int BudgetForLimit(double kilobytesPerMinute);
// The budget that holds nothing back.
inline constexpr int kUnlimitedBudget = 2147483647;
// The full-speed limit's budget: a limit of 0 (or none that reads as a number)
// means no limit there, where the background limit's 0 holds transfers still.
int FullSpeedBudget(double kilobytesPerMinute);

// The one-second timer's speed step: sets the budget from the limits, the
// buttons and the full-speed rule, raises "PAUSE", "SLOW" or "FAST" when the
// state changes (never on the first tick), and returns the speed text.
class SpeedControl {
 public:
  SpeedControl(AppState& state, EventSink& events) : state_(state), events_(events) {}

  std::string UpdateSpeed(const WindowFocus& focus);
  int speedState() const { return speedState_; }

 private:
  AppState& state_;
  EventSink& events_;
  int speedState_ = kSpeedNone;
};

// "2 Files at 1.4 MB/s" or "1 File at 99.9 KPM"; empty with nothing running.
std::string RateText(int activeCount, int64_t rateAverage, bool bytesPerSecond);

// The Offline button: stores the state, asks every running transfer to go
// offline (the last started first) and releases Good Night.
void ApplyOffline(AppState& state, bool offline);

}  // namespace pellmarsh
