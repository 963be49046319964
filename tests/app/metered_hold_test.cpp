#include "app/metered_hold.h"

#include <gtest/gtest.h>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/fakes.h"

namespace pellmarsh {
namespace {

struct HoldStep {
  const char* what;
  bool metered, allowed, queued, held;
  size_t notices;
};

TEST(MeteredHold, HoldsWhileMeteredUnlessAllowedAndTellsTheFirstHoldOfADownload) {
  const HoldStep steps[] = {
      {"metered, nothing queued: held, nothing to tell", true, false, false, true, 0},
      {"a download queued meanwhile: told", true, false, true, true, 1},
      {"no longer metered: goes on by itself", false, false, true, false, 1},
      {"metered again: held, told no more", true, false, true, true, 1},
      {"switched on: goes on while metered", true, true, true, false, 1},
  };
  AppState state{"/nonexistent"};
  Item& download =
      state.tree.Lock()->FindOrCreateChild(folder::kFileList).AddChild(std::make_unique<Item>());
  testing::RecordingNotifications desktop;
  MeteredHold hold(state, desktop);
  for (const HoldStep& step : steps) {
    SCOPED_TRACE(step.what);
    state.tree.Lock()->SetPropInt(setting::kDownloadMetered, step.allowed);
    download.SetPropInt(key::kStatus, step.queued ? kStatusQueued : kStatusOnHold);
    const bool before = state.metered;
    state.startWalkDue.Take();
    hold.ConnectionChanged(step.metered);
    EXPECT_EQ(state.metered, step.held);
    EXPECT_EQ(desktop.shown.size(), step.notices);
    // A change reaches the rows at the scheduler's next pass.
    EXPECT_EQ(state.startWalkDue.Take(), before != step.held);
  }
}

}  // namespace
}  // namespace pellmarsh
