#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "checksum/checksum.h"
#include "checksum/file_digest.h"
#include "platform/unique_fd.h"

namespace pellmarsh {

// One file's digest, worked out on a thread of its own so that whoever waits
// for it (a transfer, stepped under the tree lock) never blocks on the disk.
// The thread signals `wakeFd` as it goes and when it ends.
class ChecksumRun {
 public:
  ChecksumRun(std::string path, DigestKind kind);
  ChecksumRun(const ChecksumRun&) = delete;
  ChecksumRun& operator=(const ChecksumRun&) = delete;
  // Cancels a digest still running and waits for it: at most one read.
  ~ChecksumRun();

  // Readable once there is news; Drain makes it quiet again.
  int wakeFd() const { return wake_.get(); }
  void Drain();

  int64_t hashed() const { return progress_.hashed; }
  bool done() const { return done_; }
  // Once done: the digest as hex, or empty with the error that stopped it.
  const std::string& digest() const { return digest_; }
  const std::string& error() const { return error_; }

 private:
  void Run(const std::string& path, DigestKind kind);
  void Wake();

  UniqueFd wake_;
  DigestProgress progress_;
  std::string digest_;
  std::string error_;
  std::atomic<bool> done_{false};
  int64_t wokenAt_ = 0;  // the digest thread's own
  std::thread thread_;
};

}  // namespace pellmarsh
