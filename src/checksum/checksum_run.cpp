#include "checksum/checksum_run.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>

namespace pellmarsh {
namespace {

// Often enough for the row's percentage, seldom enough to cost nothing.
constexpr int64_t kWakeEvery = int64_t{16} << 20;

}  // namespace

ChecksumRun::ChecksumRun(std::string path, DigestKind kind)
    : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (!wake_.valid()) {
    error_ = std::string("Couldn't start the check: ") + std::strerror(errno);
    done_ = true;
    return;
  }
  thread_ = std::thread([this, path = std::move(path), kind] { Run(path, kind); });
}

ChecksumRun::~ChecksumRun() {
  progress_.cancel = true;
  if (thread_.joinable()) {
    thread_.join();
  }
}

void ChecksumRun::Run(const std::string& path, DigestKind kind) {
  std::string error;
  const std::optional<std::string> digest = DigestOfFile(path, kind, progress_, error, [this] {
    if (progress_.hashed - wokenAt_ >= kWakeEvery) {
      wokenAt_ = progress_.hashed;
      Wake();
    }
  });
  digest_ = digest.value_or("");
  error_ = error;
  done_ = true;
  Wake();
}

void ChecksumRun::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
}

void ChecksumRun::Drain() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = ::read(wake_.get(), &count, sizeof count);
}

}  // namespace pellmarsh
