#include "app/metered_hold.h"

#include "store/keys.h"

namespace pellmarsh {

void MeteredHold::ConnectionChanged(bool metered) {
  metered_ = metered;
  Update();
}

void MeteredHold::Update() {
  bool allowed = false;
  bool anythingWaits = false;
  {
    Tree::Access tree(state_.tree);
    allowed = tree->GetPropInt(setting::kDownloadMetered) != 0;
    anythingWaits = tree->liveCount() > 0;
  }
  const bool hold = metered_ && !allowed;
  if (hold != state_.metered) {
    state_.metered = hold;
    // The rows say why at the scheduler's next pass, not its next second.
    state_.startWalkDue.Raise();
  }
  // Told only once the hold keeps a download from moving.
  if (hold && anythingWaits && !told_) {
    told_ = true;
    Notification notice;
    notice.summary = "Downloads paused: the connection is metered";
    notice.body =
        "Pellmarsh goes on by itself once the connection is no longer metered. "
        "\"Download on metered connections\" in the settings lets it go on now.";
    desktop_.Show(notice);
  }
}

}  // namespace pellmarsh
