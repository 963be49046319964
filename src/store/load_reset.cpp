#include "store/load_reset.h"

#include "store/item_status.h"
#include "store/keys.h"

namespace pellmarsh {

void ResetItemOnLoad(Item& item) {
  // Every rule looks at the status as it was loaded, not as rewritten above it.
  const int status = item.GetPropInt(key::kStatus);
  if (status > 99) {
    const bool stopping = status == kStatusStopping || IsStopRequest(status);
    item.SetPropInt(key::kStatus,
                    stopping ? StatusAfterStopRequest(status) : static_cast<int>(kStatusQueued));
  }
  if (!item.GetProp(key::kWaitingFor).empty()) {
    item.SetProp(key::kWaitingFor, "");
  }
  if (item.GetPropInt(key::kVirusChecking) != 0) {
    item.SetPropInt(key::kVirusChecking, 0);
  }
  if (status == kStatusWaitingToRetry) {
    item.SetPropInt(key::kRetryTimeout, 0);
    item.SetPropInt(key::kRetryDelay, 0);
    item.SetPropInt(key::kStatus, kStatusQueued);
  }
  if (status >= 1) {
    item.SetPropInt(key::kRetryCount, 0);
  }
}

}  // namespace pellmarsh
