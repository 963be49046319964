#pragma once

#include <functional>

#include "goodnight/good_night.h"
#include "notify/download_notices.h"
#include "platform/power.h"
#include "store/item.h"

namespace pellmarsh {

// What the hand-offs need of the desktop. Set before the worker threads
// start; a hand-off whose part is missing does nothing.
struct HandOffDesk {
  ShutdownCountdown* countdown = nullptr;
  PowerControl* power = nullptr;
  // A finished upgrade download, on the scheduler thread with the tree lock
  // held: it may only pass the item on to the window thread.
  std::function<void(Item&)> upgradeFinished;
  // A download that ended for good, on the scheduler thread with the tree
  // lock held: it may only pass the facts on to the window thread.
  std::function<void(EndedDownload)> downloadEnded;
};

}  // namespace pellmarsh
