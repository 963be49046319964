#include "capture/extraction_worker.h"

#include "store/data_file.h"

namespace pellmarsh {

ExtractionWorker::ExtractionWorker(Tree& tree, LocalNameRegistry& names, Clock& clock,
                                   std::atomic<bool>& listDirty, std::atomic<int>& saveRequested)
    : tree_(tree),
      names_(names),
      clock_(clock),
      listDirty_(listDirty),
      saveRequested_(saveRequested) {}

void ExtractionWorker::Post(ExtractionSource source) {
  std::lock_guard lock(mutex_);
  if (stop_) {
    return;
  }
  jobs_.push_back(std::move(source));
  // Started on first use: most runs never extract automatically.
  if (!thread_.joinable()) {
    thread_ = std::thread(&ExtractionWorker::Run, this);
  }
  wake_.notify_one();
}

void ExtractionWorker::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    jobs_.clear();
  }
  wake_.notify_one();
  if (thread_.joinable()) {
    thread_.join();
  }
}

bool ExtractionWorker::idle() {
  std::lock_guard lock(mutex_);
  return jobs_.empty() && !running_;
}

void ExtractionWorker::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
    if (stop_) {
      return;
    }
    const ExtractionSource source = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = true;
    lock.unlock();
    if (ExtractAutomatically(tree_, names_, source, clock_.UnixTime()) > 0) {
      listDirty_ = true;
      RequestSave(saveRequested_);
    }
    lock.lock();
    running_ = false;
  }
}

}  // namespace pellmarsh
