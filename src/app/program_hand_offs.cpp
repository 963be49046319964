#include "app/program_hand_offs.h"

#include <utility>

namespace pellmarsh {

void ProgramHandOffs::DownloadEnded(EndedDownload ended) {
  if (desk_.downloadEnded) {
    desk_.downloadEnded(std::move(ended));
  }
}

void ProgramHandOffs::InstallUpgrade(Item& item) {
  if (desk_.upgradeFinished) {
    desk_.upgradeFinished(item);
  }
}

void ProgramHandOffs::RunAutomaticShutdown() {
  if (desk_.countdown && desk_.power) {
    RunGoodNight(state_.tree, *desk_.countdown, *desk_.power, state_.schedulerStop);
  }
}

}  // namespace pellmarsh
