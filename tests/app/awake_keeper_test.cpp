#include "app/awake_keeper.h"

#include <gtest/gtest.h>

#include "store/keys.h"

namespace pellmarsh {
namespace {

// The inhibitor's and the power's calls in one list, in their order.
struct CallLog final : SleepInhibitor, PowerControl {
  bool Take(const std::string& why) override {
    calls.push_back("take " + why);
    return grants;
  }
  void Release() override { calls.push_back("release"); }
  void HangUpDialUp() override { calls.push_back("hang up"); }
  void PowerOff() override { calls.push_back("power off"); }

  bool grants = true;
  std::vector<std::string> calls;
};

struct AwakeStep {
  const char* what;
  int running;
  bool switchOn, paused, grants;
  std::vector<std::string> calls;  // made by this step's update
};

TEST(AwakeKeeper, HoldsWhileDownloadsMoveAndTheSwitchIsOn) {
  const AwakeStep steps[] = {
      {"nothing runs", 0, true, false, true, {}},
      {"two run: taken, saying how many", 2, true, false, true, {"take Downloading 2 files"}},
      {"three run: the hold stays as it is", 3, true, false, true, {}},
      {"switched off", 3, false, false, true, {"release"}},
      {"switched on, but paused: nothing moves", 3, true, true, true, {}},
      {"resumed", 1, true, false, true, {"take Downloading 1 files"}},
      {"the last one ends", 0, true, false, true, {"release"}},
      {"refused", 1, true, false, false, {"take Downloading 1 files"}},
      {"not asked again while they run", 1, true, false, true, {}},
      {"they stop", 0, true, false, true, {}},
      {"asked again once they run again", 1, true, false, true, {"take Downloading 1 files"}},
  };
  AppState state{"/nonexistent"};
  CallLog log;
  AwakeKeeper keeper(state, log);
  for (const AwakeStep& step : steps) {
    SCOPED_TRACE(step.what);
    state.tree.Lock()->SetPropInt(setting::kKeepAwake, step.switchOn);
    state.activeCount = step.running;
    state.paused = step.paused;
    log.grants = step.grants;
    log.calls.clear();
    keeper.Update();
    EXPECT_EQ(log.calls, step.calls);
  }

  // Good Night's power-off must never wait on the program's own hold.
  AwakeReleasingPower power(log, keeper);
  log.calls.clear();
  power.HangUpDialUp();
  power.PowerOff();
  keeper.Update();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"release", "hang up", "power off",
                                                 "take Downloading 1 files"}));
}

}  // namespace
}  // namespace pellmarsh
