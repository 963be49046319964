#include "afterdownload/after_download_shared.h"

#include <algorithm>
#include <cstdlib>

#include "transfer/session_log.h"

namespace pellmarsh {

void AfterDownloadShared::Check(TreeLock& treeLock) {
  if (!treeLock.HeldByThisThread()) {
    std::abort();  // a programming error, as for the tree's root
  }
}

void AfterDownloadShared::Add(TreeLock& treeLock, Item& item, bool virusCheckFirst) {
  Check(treeLock);
  if (virusCheckFirst) {
    awaitingVerdict_.push_back(&item);
    return;
  }
  ready_.push_back(&item);
  work.Raise();
}

void AfterDownloadShared::VerdictRecorded(TreeLock& treeLock, Item& item, VirusVerdict verdict,
                                          uint32_t tick) {
  Check(treeLock);
  // A check from the list's menu is no download's end: it runs nothing.
  if (std::erase(awaitingVerdict_, &item) == 0) {
    return;
  }
  if (verdict != kVirusClean) {
    AppendLogLine(item, tick,
                  "Not run after download: the virus check did not find the file clean.");
    return;
  }
  ready_.push_back(&item);
  work.Raise();
}

void AfterDownloadShared::Forget(TreeLock& treeLock, Item& item) {
  Check(treeLock);
  std::erase(ready_, &item);
  std::erase(awaitingVerdict_, &item);
  if (running_ == &item) {
    running_ = nullptr;
  }
}

Item* AfterDownloadShared::TakeNext(TreeLock& treeLock) {
  Check(treeLock);
  running_ = nullptr;
  if (!ready_.empty()) {
    running_ = ready_.front();
    ready_.pop_front();
  }
  return running_;
}

bool AfterDownloadShared::FinishRunning(TreeLock& treeLock, Item& item) {
  Check(treeLock);
  const bool there = running_ == &item;
  running_ = nullptr;
  return there;
}

bool AfterDownloadShared::HasWork(TreeLock& treeLock) {
  Check(treeLock);
  return !ready_.empty();
}

}  // namespace pellmarsh
