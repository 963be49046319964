#pragma once

#include "store/item.h"

namespace pellmarsh {

// Gives a captured text its "type" from its "value": "_url" (with the short
// forms expanded in "value"), "_file" for a DOS path, "_data" when it holds a
// control character other than CR, LF and backspace (a tab, or any byte of 128
// and above), otherwise "_text". The tests run in that order.
void ClassifyItem(Item& item);

}  // namespace pellmarsh
