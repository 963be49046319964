// The file side of a session: a local file copied through the same writer.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/keys.h"
#include "transfer/session_log.h"
#include "transfer/transfer_session.h"

namespace pellmarsh {

void TransferSession::FileStart() {
  item_->SetPropInt(key::kResume, 1);
  if (!OpenSaveFile()) {
    return;
  }
  const std::string source = urlParts_->GetProp(key::kFullPath);
  sourceFile_.Reset(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!sourceFile_.valid()) {
    Fail("Could not open local copy-from file: " + source, FailOutcome::kPermanent);
    return;
  }
  state_ = SessionState::kTransfer;
}

void TransferSession::FileTransfer() {
  const ssize_t got = ::read(sourceFile_.get(), context_.buffer, stepLimit_);
  if (got < 0) {
    if (errno == EINTR) {
      return;
    }
    // Ending the copy here would report a cut-off file as complete.
    Fail("Could not read local copy-from file: " + urlParts_->GetProp(key::kFullPath) + " (" +
             std::strerror(errno) + ")",
         FailOutcome::kRetry);
    return;
  }
  if (got > 0 && !AcceptChunk(context_.buffer, static_cast<size_t>(got))) {
    return;
  }
  // A short read of what was asked for is the end of the file.
  if (static_cast<size_t>(got) < stepLimit_) {
    state_ = SessionState::kComplete;
  }
}

}  // namespace pellmarsh
