#include "goodnight/good_night.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "store/keys.h"

namespace pellmarsh {
namespace {

void SetShutdownPc(Tree& tree, bool on) {
  Tree::Access access(tree);
  access->SetPropInt(setting::kShutdownPc, on ? 1 : 0);
}

// The countdown's answer and the system's power, as calls in their order.
struct GoodNightDesk final : ShutdownCountdown, PowerControl {
  bool Run(bool computerShutdown, const std::atomic<bool>& /*stop*/) override {
    calls.push_back(computerShutdown ? "countdown to power-off" : "countdown to hang-up");
    duringCountdown();
    return ranOut;
  }
  void HangUpDialUp() override { calls.push_back("hang up"); }
  void PowerOff() override { calls.push_back("power off"); }

  bool ranOut = true;
  std::function<void()> duringCountdown;
  std::vector<std::string> calls;
};

TEST(GoodNight, TheCountdownDecidesAndASwitchedOffPowerOffCountsEvenDuringIt) {
  const struct {
    const char* what;
    bool shutdownPc;
    bool ranOut;
    bool switchedOffDuringCountdown;
    std::vector<std::string> calls;
  } rows[] = {
      {"hang-up only", false, true, false, {"countdown to hang-up", "hang up"}},
      {"power-off after the hang-up",
       true,
       true,
       false,
       {"countdown to power-off", "hang up", "power off"}},
      {"cancelled", true, false, false, {"countdown to power-off"}},
      {"power-off switched off meanwhile", true, true, true, {"countdown to power-off", "hang up"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Tree tree;
    SetShutdownPc(tree, row.shutdownPc);
    GoodNightDesk desk;
    desk.ranOut = row.ranOut;
    desk.duringCountdown = [&] {
      if (row.switchedOffDuringCountdown) {
        SetShutdownPc(tree, false);
      }
    };
    const std::atomic<bool> stop(false);
    RunGoodNight(tree, desk, desk, stop);
    EXPECT_EQ(desk.calls, row.calls);
  }
}

}  // namespace
}  // namespace pellmarsh
