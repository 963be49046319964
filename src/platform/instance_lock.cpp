#include "platform/instance_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/program_dir.h"

namespace pellmarsh {

InstanceLock::InstanceLock(const std::string& dataDir) {
  const std::string path = JoinPath(dataDir, "pmarsh.lock");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    failure_ = "Pellmarsh cannot create " + path + ": " + std::strerror(errno);
    return;
  }
  // An open-file-description lock: it belongs to this open file alone, and
  // another process can ask whether it is held without taking it.
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (::fcntl(fd, F_OFD_SETLK, &whole) != 0) {
    if (errno != EAGAIN && errno != EACCES) {
      failure_ = "Pellmarsh cannot lock " + path + ": " + std::strerror(errno);
    }
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
