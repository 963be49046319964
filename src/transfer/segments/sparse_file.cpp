#include "transfer/segments/sparse_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/unique_fd.h"

namespace pellmarsh {

std::optional<bool> AllocateWithHoles(const std::string& path, int64_t size) {
  const UniqueFd fd(
      ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (!fd.valid() || ::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) {
    return std::nullopt;
  }
  // A filesystem without holes reports the whole file as data.
  return ::lseek(fd.get(), 0, SEEK_DATA) < 0 && errno == ENXIO;
}

void AdvanceToBytesOnDisk(SegmentMap& map, const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
    return;
  }
  const int64_t block = std::max<int64_t>({info.st_blksize, ::sysconf(_SC_PAGESIZE), 4096});
  for (Segment& segment : map.segments) {
    if (segment.done()) {
      continue;
    }
    const off_t hole = ::lseek(fd.get(), static_cast<off_t>(segment.next), SEEK_HOLE);
    if (hole >= 0) {
      // The block the part ends in may hold only the next part's first bytes.
      const int64_t ownBlocksEnd = segment.end / block * block;
      segment.next = std::max(segment.next, std::min<int64_t>(hole, ownBlocksEnd) - block);
    }
  }
}

}  // namespace pellmarsh
