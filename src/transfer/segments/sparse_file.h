#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "transfer/segment_map.h"

namespace pellmarsh {

// A download over several connections writes its parts into a file with
// holes. The data file keeps the parts' progress only as often as it is
// saved, but after a crash the filesystem still knows which blocks were
// written, so each part goes on where its bytes end on disk.

// Empties the file at `path` and gives it `size` bytes of hole. Nothing when
// it cannot; otherwise whether the filesystem keeps the holes, which the
// file's parts can then be found by.
std::optional<bool> AllocateWithHoles(const std::string& path, int64_t size);

// Moves each part's next on to where its written bytes end, less the last
// block, which the part may have written only in part, and never into the
// block it ends in, which the next part may have begun. The map must name
// every part that wrote.
void AdvanceToBytesOnDisk(SegmentMap& map, const std::string& path);

}  // namespace pellmarsh
