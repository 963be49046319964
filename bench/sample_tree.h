#pragma once

#include "store/item.h"

namespace pellmarsh::bench {

// Appends URL items to "_filelist" as a well-used program holds them: about 25
// properties each and a 2 KiB log.
void AddSampleUrlItems(Item& root, int count, int status);

}  // namespace pellmarsh::bench
