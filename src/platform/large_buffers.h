#pragma once

namespace pellmarsh {

// Buffers of 1 MiB and more (the data file's load and save buffers) are mapped
// on their own, so their pages go back to the system once freed. By default
// glibc raises this threshold to the size of the first such buffer freed and
// keeps every later one in the heap, where its pages stay with the program.
void MapLargeBuffersApart();

}  // namespace pellmarsh
