#pragma once

#include <mutex>

#include "app/app_state.h"
#include "platform/power.h"
#include "platform/sleep_inhibitor.h"

namespace pellmarsh {

// Keeps the computer awake while downloads move and "parm-keepawake" is on:
// not for a queue held by Pause or a metered connection, and never in the
// way of Good Night's own power-off.
class AwakeKeeper {
 public:
  AwakeKeeper(AppState& state, SleepInhibitor& inhibitor) : state_(state), inhibitor_(inhibitor) {}

  // The window's one-second follow-up: takes the hold, saying how many
  // downloads run, or lets it go. One refused is not asked for again until
  // the downloads have stopped, so a missing service costs one call a spell.
  void Update();
  // Lets go and takes nothing until Allow, from any thread.
  void Suspend();
  void Allow();

 private:
  AppState& state_;
  SleepInhibitor& inhibitor_;
  std::mutex mutex_;
  bool holding_ = false;
  bool refused_ = false;
  bool suspended_ = false;
};

// Good Night's hang-up and power-off with the keeper let go for them: the
// system's own shutdown must never wait on this program's hold.
class AwakeReleasingPower final : public PowerControl {
 public:
  AwakeReleasingPower(PowerControl& power, AwakeKeeper& keeper) : power_(power), keeper_(keeper) {}
  void HangUpDialUp() override;
  void PowerOff() override;

 private:
  PowerControl& power_;
  AwakeKeeper& keeper_;
};

}  // namespace pellmarsh
