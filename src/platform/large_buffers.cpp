#include "platform/large_buffers.h"

#include <malloc.h>

namespace pellmarsh {

void MapLargeBuffersApart() {
  ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
}

void ReturnFreedMemory() {
  ::malloc_trim(0);
}

}  // namespace pellmarsh
