#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "store/tree.h"

class QSocketNotifier;

namespace pellmarsh {

// Runs work handed over by other threads on the window thread. The hand-over
// is a queue under a mutex of our own plus a wake-up byte, so no data crosses
// the threads inside Qt, where the order of accesses cannot be checked.
class QtGuiQueue final : public QObject {
 public:
  // Create it on the window thread.
  QtGuiQueue();
  ~QtGuiQueue() override;

  // Callable from any thread; returns at once.
  void Post(std::function<void()> work);

  // Runs `work` on the window thread and waits, on another thread, for what
  // it returns. With `stop`, the wait ends as soon as that is set: the result
  // is then nothing, and the flag the work is handed tells it to end early.
  // Called with the tree lock held it stops the program: the window thread
  // may need the lock before it gets to the work.
  template <typename Result>
  std::optional<Result> RunAndWait(std::function<Result(const std::atomic<bool>& abandoned)> work,
                                   const std::atomic<bool>* stop = nullptr);

 private:
  void RunPosted();

  std::mutex mutex_;
  std::deque<std::function<void()>> posted_;
  int wakeFd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

template <typename Result>
std::optional<Result> QtGuiQueue::RunAndWait(
    std::function<Result(const std::atomic<bool>& abandoned)> work, const std::atomic<bool>* stop) {
  AbortIfTreeLockHeld();
  // Shared: the waiting thread may give up before the window thread is done.
  struct Exchange {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<Result> result;
    std::atomic<bool> abandoned{false};
  };
  auto exchange = std::make_shared<Exchange>();
  Post([exchange, work = std::move(work)] {
    Result result = work(exchange->abandoned);
    std::lock_guard lock(exchange->mutex);
    exchange->result = std::move(result);
    exchange->answered.notify_one();
  });
  std::unique_lock lock(exchange->mutex);
  while (!exchange->result) {
    if (!stop) {
      exchange->answered.wait(lock);
    } else if (*stop) {
      exchange->abandoned = true;
      return std::nullopt;
    } else {
      exchange->answered.wait_for(lock, std::chrono::milliseconds(100));
    }
  }
  return exchange->result;
}

}  // namespace pellmarsh
