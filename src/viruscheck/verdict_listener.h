#pragma once

#include <cstdint>

#include "platform/thread_annotations.h"
#include "store/item.h"
#include "store/item_status.h"
#include "store/tree.h"

namespace pellmarsh {

// Told each verdict the virus checker records, on its thread and under the
// tree lock, so that the item is still there: keep it short.
class VerdictListener {
 public:
  virtual ~VerdictListener() = default;
  virtual void VerdictRecorded(TreeLock& treeLock, Item& item, VirusVerdict verdict, uint32_t tick)
      REQUIRES(treeLock) = 0;
};

}  // namespace pellmarsh
