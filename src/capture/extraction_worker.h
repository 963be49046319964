#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "capture/url_extraction.h"
#include "platform/clock.h"
#include "store/tree.h"
#include "url/local_name_registry.h"

namespace pellmarsh {

// Runs the automatic extractions after completed transfers on a thread of its
// own: reading and scanning a large page takes a while, and neither the
// window nor the downloads may wait for it. Items are added in one short
// step under the tree lock; the list is marked dirty and a save requested.
class ExtractionWorker {
 public:
  ExtractionWorker(Tree& tree, LocalNameRegistry& names, Clock& clock, std::atomic<bool>& listDirty,
                   std::atomic<int>& saveRequested);
  ExtractionWorker(const ExtractionWorker&) = delete;
  ExtractionWorker& operator=(const ExtractionWorker&) = delete;
  ~ExtractionWorker() { Stop(); }

  // Callable from any thread, with or without the tree lock; returns at once.
  void Post(ExtractionSource source);
  // Waits for the run in progress, drops the rest and ends the thread.
  void Stop();
  // True while nothing is queued or running (for tests).
  bool idle();

 private:
  void Run();

  Tree& tree_;
  LocalNameRegistry& names_;
  Clock& clock_;
  std::atomic<bool>& listDirty_;
  std::atomic<int>& saveRequested_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<ExtractionSource> jobs_;
  bool running_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace pellmarsh
