#include "desktop/qt_gui_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cstdint>

namespace pellmarsh {

QtGuiQueue::QtGuiQueue() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  notifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QtGuiQueue::RunPosted);
}

QtGuiQueue::~QtGuiQueue() {
  ::close(wakeFd_);
}

void QtGuiQueue::Post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(work));
  }
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
}

void QtGuiQueue::RunPosted() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t ignored = ::read(wakeFd_, &count, sizeof count);
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(mutex_);
      if (posted_.empty()) {
        return;
      }
      work = std::move(posted_.front());
      posted_.pop_front();
    }
    // May run a nested event loop (a message box) that comes back here.
    work();
  }
}

}  // namespace pellmarsh
