#pragma once

#include "store/item.h"

namespace pellmarsh {

// True when the item's log shows a server known to answer range requests
// wrongly, so the file must be fetched whole.
bool IsBuggyResumeServer(const Item& item);

}  // namespace pellmarsh
