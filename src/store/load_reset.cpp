#include "store/load_reset.h"

#include "store/item_status.h"

namespace pellmarsh {

void ResetItemOnLoad(Item& item) {
  // Every rule looks at the status as it was loaded, not as rewritten above it.
  const int status = item.GetPropInt("status");
  if (status > 99) {
    const bool stopping = status == kStatusStopping || status == kStatusStopRequested;
    item.SetPropInt("status", stopping ? kStatusOnHold : kStatusQueued);
  }
  if (item.GetPropInt("vchecking") != 0) {
    item.SetPropInt("vchecking", 0);
  }
  if (status == kStatusWaitingToRetry) {
    item.SetPropInt("retrytimeout", 0);
    item.SetPropInt("retrydelay", 0);
    item.SetPropInt("status", kStatusQueued);
  }
  if (status >= 1) {
    item.SetPropInt("retrycount", 0);
  }
}

}  // namespace pellmarsh
