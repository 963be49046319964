#include "transfer/checksum_stage.h"

#include "store/keys.h"
#include "transfer/unfinished_file.h"

namespace pellmarsh {

std::optional<Checksum> ExpectedChecksum(const Item& item, std::string& error) {
  std::string text = item.GetProp(key::kChecksum);
  if (text.empty()) {
    text = item.GetProp(key::kServerDigest);
  }
  if (text.empty()) {
    return std::nullopt;
  }
  return ParseChecksum(text, error);
}

ChecksumStage::Result ChecksumStage::Begin(Item& item, std::string& text) {
  std::string error;
  const std::optional<Checksum> expected = ExpectedChecksum(item, error);
  if (!error.empty()) {
    text = "The checksum to check against is none: " + error;
    return Result::kMismatch;
  }
  if (!expected) {
    return Result::kNothingToCheck;
  }
  expected_ = *expected;
  item.SetPropInt64(key::kChecking, 0);
  run_ = std::make_unique<ChecksumRun>(UnfinishedFileOf(item), expected_.kind);
  return Result::kRunning;
}

ChecksumStage::Result ChecksumStage::Poll(Item& item, std::string& text) {
  run_->Drain();
  if (!run_->done()) {
    item.SetPropInt64(key::kChecking, run_->hashed());
    return Result::kRunning;
  }
  item.SetProp(key::kChecking, "");
  const std::string name(DigestName(expected_.kind));
  const std::string got = run_->digest();
  const std::string error = run_->error();
  run_.reset();
  if (got.empty()) {
    text = error;
    return Result::kFailed;
  }
  if (got != expected_.hex) {
    item.SetPropInt(key::kChecksumMismatch, 1);
    text = "Checksum mismatch: expected " + name + ":" + expected_.hex + ", got " + got;
    return Result::kMismatch;
  }
  item.SetProp(key::kChecksumMismatch, "");
  text = "Checksum verified (" + name + ")";
  return Result::kVerified;
}

}  // namespace pellmarsh
