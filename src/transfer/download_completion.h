#pragma once

#include <string_view>

#include "platform/byte_stream.h"
#include "store/item.h"
#include "transfer/checksum_stage.h"
#include "transfer/session_host.h"
#include "transfer/session_log.h"

namespace pellmarsh {

// What a transfer lends its completion: its log, its failure, and what it
// sets in the item itself once the item is complete.
class CompletionHost {
 public:
  virtual void Log(std::string_view text) = 0;
  virtual void Fail(std::string_view message, FailOutcome outcome) = 0;
  // Called just before the item is told complete.
  virtual void Completing(Item& item) = 0;

 protected:
  ~CompletionHost() = default;
};

// How a download ends once all its bytes are on disk, over one connection
// or over parts alike: the checksum the item expects is worked out, then the
// file takes its final name and the item is complete.
class DownloadCompletion {
 public:
  enum class Progress { kChecking, kEnded };

  DownloadCompletion(CompletionHost& host, const TransferContext& context)
      : host_(host), context_(context) {}

  // Starts the check when the item expects a checksum; else the item ends
  // here, complete or failed. Bytes whose line ends were converted match no
  // checksum.
  Progress Begin(Item& item, bool lineEndsConverted);
  // Shows the check's progress in the item, and ends the item once it is done.
  Progress Poll(Item& item);
  IoWait wait() const { return checksum_.wait(); }
  // The item is complete; its file keeps the name it has.
  void Complete(Item& item);
  void Reset() { checksum_ = ChecksumStage(); }

 private:
  // The file takes its final name and the item is complete.
  void Finish(Item& item);

  CompletionHost& host_;
  const TransferContext& context_;
  ChecksumStage checksum_;
};

}  // namespace pellmarsh
