#include "app/awake_keeper.h"

#include <string>

#include "store/keys.h"

namespace pellmarsh {

void AwakeKeeper::Update() {
  bool switchOn = false;
  {
    Tree::Access tree(state_.tree);
    switchOn = tree->GetPropInt(setting::kKeepAwake) != 0;
  }
  const int running = state_.paused || state_.metered ? 0 : state_.activeCount.load();
  std::lock_guard lock(mutex_);
  const bool wanted = switchOn && running > 0 && !suspended_;
  if (!wanted) {
    refused_ = false;
    if (holding_) {
      inhibitor_.Release();
      holding_ = false;
    }
    return;
  }
  if (!holding_ && !refused_) {
    holding_ = inhibitor_.Take("Downloading " + std::to_string(running) + " files");
    refused_ = !holding_;
  }
}

void AwakeKeeper::Suspend() {
  std::lock_guard lock(mutex_);
  suspended_ = true;
  if (holding_) {
    inhibitor_.Release();
    holding_ = false;
  }
}

void AwakeKeeper::Allow() {
  std::lock_guard lock(mutex_);
  suspended_ = false;
}

void AwakeReleasingPower::HangUpDialUp() {
  keeper_.Suspend();
  power_.HangUpDialUp();
  keeper_.Allow();
}

void AwakeReleasingPower::PowerOff() {
  keeper_.Suspend();
  power_.PowerOff();
  keeper_.Allow();
}

}  // namespace pellmarsh
