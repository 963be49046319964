#pragma once

namespace pellmarsh {

// The "status" codes of a URL item. Running means kTransferring or kStarting;
// the codes from kStartNow up are requests that a transfer or the scheduler
// turns into another code.
enum ItemStatus : int {
  kStatusOnHold = 0,
  kStatusQueued = 1,
  kStatusComplete = 2,
  kStatusFailed = 3,
  kStatusPaused = 4,
  kStatusWaitingToRetry = 5,
  kStatusClipped = 6,
  kStatusTransferring = 100,
  kStatusStartNow = 101,
  kStatusStopping = 102,
  kStatusStopRequested = 103,
  kStatusStarting = 104,
  kStatusGoingOffline = 105,
  kStatusPauseRequested = 106,
};

// Waiting for its turn, for a retry, or running: what Pause can hold.
constexpr bool CanBePaused(int status) {
  return status == kStatusQueued || status == kStatusWaitingToRetry ||
         (status >= kStatusTransferring && status <= kStatusStarting && status != kStatusStopping &&
          status != kStatusStopRequested);
}

// A stop or a pause asked of a running transfer, which ends it.
constexpr bool IsStopRequest(int status) {
  return status == kStatusStopRequested || status == kStatusPauseRequested;
}

// What a transfer asked to stop or pause leaves its item as: a paused one
// goes on where it was once resumed.
constexpr int StatusAfterStopRequest(int request) {
  return request == kStatusPauseRequested ? kStatusPaused : kStatusOnHold;
}

// Queued, waiting to retry, running, or asked to change: the statuses the
// scheduler looks at every second.
constexpr bool ChangesOnItsOwn(int status) {
  return status == kStatusQueued || status == kStatusWaitingToRetry ||
         (status >= kStatusTransferring && status <= kStatusPauseRequested);
}

// A transfer runs for the item, or is asked to start or end: it may write
// the log.
constexpr bool InTransfer(int status) {
  return status >= kStatusTransferring;
}

// The "speedflag" of a running transfer: its share of the measured rate, as
// the list's speed icon shows it; 0 before the first rating.
enum class SpeedFlag : int { kNone = 0, kSlowest = 9, kSlow = 10, kFast = 11, kFastest = 12 };

}  // namespace pellmarsh

namespace pellmarsh {

// The virus checker's verdict on an item's file, its "viruscheck".
enum VirusVerdict : int {
  kVirusUnchecked = 0,
  kVirusInfected = 1,
  kVirusClean = 2,
  kVirusUnknown = 3,
  kVirusCheckError = 4,
};

}  // namespace pellmarsh
