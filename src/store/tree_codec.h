#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "store/item.h"

namespace pellmarsh {

// The data file holds exactly one item record, the root's:
//   u32 property count, per property {u32 key length, key, 0, u32 value length, value, 0},
//   u32 child count, then one record per child in list order.
// Counts and lengths are little-endian; lengths include the zero byte.
std::string SaveTree(const Item& item);
// The same into a caller's buffer, whose capacity a later save can reuse.
void SaveTree(const Item& item, std::string& out);

struct TreeLoadResult {
  // False when the bytes ended early, held something impossible or went on
  // after the root record; what was read before that point is kept.
  bool complete = true;
  size_t itemsKept = 0;  // items below the root that the tree holds
  size_t bytesUsed = 0;
  // Why the reader stopped, for the user; empty when complete.
  std::string problem;
};

// Empties the item, then reads one record into it. Never reads past the end and
// never allocates from a count the remaining bytes cannot hold.
TreeLoadResult LoadTree(Item& item, std::string_view bytes);

}  // namespace pellmarsh
