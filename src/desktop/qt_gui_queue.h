#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

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

 private:
  void RunPosted();

  std::mutex mutex_;
  std::deque<std::function<void()>> posted_;
  int wakeFd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace pellmarsh
