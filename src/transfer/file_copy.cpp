#include "transfer/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/keys.h"
#include "transfer/session_log.h"

namespace pellmarsh {

SessionState FileCopy::Start() {
  session_.urlItem().SetPropInt(key::kResume, 1);
  if (!session_.writer().Open()) {
    return SessionState::kDone;
  }
  const std::string source = session_.urlParts().GetProp(key::kFullPath);
  // Opening a FIFO waits for a writer and reading a device may never end, both
  // on the scheduler's thread: only a regular file is copied, and the open
  // itself must not wait.
  source_.Reset(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (!source_.valid() || ::fstat(source_.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    session_.Fail("Could not open local copy-from file: " + source, FailOutcome::kPermanent);
    return SessionState::kDone;
  }
  return SessionState::kTransfer;
}

SessionState FileCopy::TransferStep(size_t byteLimit) {
  char* buffer = session_.context().buffer;
  const ssize_t got = ::read(source_.get(), buffer, byteLimit);
  if (got < 0) {
    if (errno == EINTR) {
      return SessionState::kTransfer;
    }
    // Ending the copy here would report a cut-off file as complete.
    session_.Fail(
        "Could not read local copy-from file: " + session_.urlParts().GetProp(key::kFullPath) +
            " (" + std::strerror(errno) + ")",
        FailOutcome::kRetry);
    return SessionState::kDone;
  }
  if (got > 0 && !session_.writer().Write(buffer, static_cast<size_t>(got))) {
    return SessionState::kDone;
  }
  // A short read of what was asked for is the end of the file.
  return static_cast<size_t>(got) < byteLimit ? SessionState::kComplete : SessionState::kTransfer;
}

}  // namespace pellmarsh
