#include "goodnight/good_night.h"

#include "store/keys.h"

namespace pellmarsh {
namespace {

bool ShutdownPcOn(Tree& tree) {
  Tree::Access access(tree);
  return access->GetPropInt(setting::kShutdownPc) != 0;
}

}  // namespace

void RunGoodNight(Tree& tree, ShutdownCountdown& countdown, PowerControl& power,
                  const std::atomic<bool>& stop) {
  if (!countdown.Run(ShutdownPcOn(tree), stop)) {
    return;
  }
  // Hang up first: a computer switched off mid-call may leave the line up.
  power.HangUpDialUp();
  if (ShutdownPcOn(tree)) {
    power.PowerOff();
  }
}

}  // namespace pellmarsh
