#include "transfer/download_completion.h"

#include <string>

#include "store/item_status.h"
#include "store/keys.h"
#include "transfer/unfinished_file.h"

namespace pellmarsh {

DownloadCompletion::Progress DownloadCompletion::Begin(Item& item, bool lineEndsConverted) {
  std::string text;
  switch (checksum_.Begin(item, lineEndsConverted, text)) {
    case ChecksumStage::Result::kNothingToCheck:
      if (!text.empty()) {
        host_.Log(text);
      }
      Finish(item);
      return Progress::kEnded;
    case ChecksumStage::Result::kRunning:
      host_.Log("Checking the checksum...");
      return Progress::kChecking;
    default:
      host_.Fail(text, FailOutcome::kPermanent);
      return Progress::kEnded;
  }
}

DownloadCompletion::Progress DownloadCompletion::Poll(Item& item) {
  std::string text;
  switch (checksum_.Poll(item, text)) {
    case ChecksumStage::Result::kNothingToCheck:
    case ChecksumStage::Result::kRunning:
      return Progress::kChecking;
    case ChecksumStage::Result::kVerified:
      host_.Log(text);
      Finish(item);
      break;
    case ChecksumStage::Result::kMismatch:
      host_.Fail(text, FailOutcome::kPermanent);
      break;
    case ChecksumStage::Result::kFailed:
      host_.Fail(text, FailOutcome::kRetry);
      break;
  }
  return Progress::kEnded;
}

void DownloadCompletion::Finish(Item& item) {
  std::string moved;
  if (const std::string error = PutFileInPlace(item, context_.localNames, moved); !error.empty()) {
    host_.Fail(error, FailOutcome::kPermanent);
    return;
  }
  if (!moved.empty()) {
    host_.Log(moved);
  }
  Complete(item);
}

void DownloadCompletion::Complete(Item& item) {
  host_.Completing(item);
  item.SetPropInt(key::kResume, 0);
  item.SetProp(key::kCookies, "");  // secrets, needed no more
  item.SetPropInt(key::kStatus, kStatusComplete);
  item.SetPropInt64(key::kFinish, context_.clock.UnixTime());
  context_.events.RaiseEvent("COMPLETE");
  host_.Log("Successful data transfer, got " + item.GetProp(key::kReceivedSession) +
            " bytes this session.");
}

}  // namespace pellmarsh
