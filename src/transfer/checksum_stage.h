#pragma once

#include <memory>
#include <string>

#include "checksum/checksum.h"
#include "checksum/checksum_run.h"
#include "platform/byte_stream.h"
#include "store/item.h"

namespace pellmarsh {

// The checksum an item's bytes must have: the user's, else the server's;
// nothing when neither is there. A stored text that is no checksum gives
// `error`.
std::optional<Checksum> ExpectedChecksum(const Item& item, std::string& error);

// A whole download's bytes checked against the checksum the item expects,
// while they still stand under their unfinished name. The hashing runs on a
// thread of its own; the transfer looks in at each step, under the tree lock.
class ChecksumStage {
 public:
  enum class Result {
    kNothingToCheck,
    kRunning,
    kVerified,  // `text` is the line for the log
    kMismatch,  // `text` is the error the download fails with for good
    kFailed,    // the bytes could not be read; `text` says why
  };

  // Starts when the item expects a checksum.
  Result Begin(Item& item, std::string& text);
  // Shows how far it got in the item, or how it ended.
  Result Poll(Item& item, std::string& text);
  IoWait wait() const { return {run_ ? run_->wakeFd() : -1, false}; }

 private:
  std::unique_ptr<ChecksumRun> run_;
  Checksum expected_;
};

}  // namespace pellmarsh
