#pragma once

#include <string>

namespace pellmarsh {

// One running program per data file: an advisory lock on a file beside it,
// held for the life of the object and released by the system if the process
// dies.
class InstanceLock {
 public:
  explicit InstanceLock(const std::string& dataDir);
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();

  bool acquired() const { return fd_ >= 0; }
  // Why the lock was not taken: empty when another process holds it, else
  // what failed ("Pellmarsh cannot create <path>: <reason>").
  const std::string& failure() const { return failure_; }

 private:
  int fd_ = -1;
  std::string failure_;
};

}  // namespace pellmarsh
