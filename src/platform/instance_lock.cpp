#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/program_dir.h"

namespace pellmarsh {

InstanceLock::InstanceLock(const std::string& programDir) {
  const std::string path = JoinPath(programDir, "pmarsh.lock");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    return;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

}  // namespace pellmarsh
