#pragma once

namespace pellmarsh {

// Buffers of 1 MiB and more (the data file's load and save buffers) are mapped
// on their own, so their pages go back to the system once freed. By default
// glibc raises this threshold to the size of the first such buffer freed and
// keeps every later one in the heap, where its pages stay with the program.
void MapLargeBuffersApart();

// Hands the heap's free pages back to the system. After many small blocks
// are freed at once (a long list's rows), glibc keeps their pages: they sit
// between blocks still in use, where it never trims by itself.
void ReturnFreedMemory();

}  // namespace pellmarsh
