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
};

}  // namespace pellmarsh
