#pragma once

#include <string>

#include "store/item.h"

namespace pellmarsh::bench {

// Appends URL items to "_filelist" as a well-used program holds them: about 25
// properties each and a 2 KiB log.
void AddSampleUrlItems(Item& root, int count, int status);

// Writes a data file of `pending` queued and `completed` finished URL items,
// Offline so nothing starts. A child process builds it, so the caller's
// memory stays its own.
void WriteSampleDataFile(const std::string& path, int pending, int completed);

}  // namespace pellmarsh::bench
