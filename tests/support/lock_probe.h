#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace pellmarsh::testing {

// True while another open file description holds a write lock on the file,
// as the program holds its instance lock; asking does not take the lock.
inline bool LockHeldElsewhere(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  const bool held = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

}  // namespace pellmarsh::testing
