#pragma once

#include "store/item.h"

namespace pellmarsh {

// Applied to every item right after loading: interrupted transfers go back to
// the queue, pending stops go on hold, retry waits are cancelled and requeued,
// virus-check marks are cleared.
void ResetItemOnLoad(Item& item);

}  // namespace pellmarsh
