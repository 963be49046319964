#pragma once

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "store/item.h"

namespace pellmarsh {

// The one lock of the program's shared data (see app/app_state.h for what it
// guards and who takes it). Recursive because a transfer step that holds it
// raises events and asks the local-name registry, which take it for their
// other callers; it counts how deep the owning thread holds it, so that code
// which must let go of it entirely can check that it can.
class TreeLock {
 public:
  void lock() {
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    ++depth_;
  }
  void unlock() {
    if (--depth_ == 0) {
      owner_.store(std::thread::id(), std::memory_order_relaxed);
    }
    mutex_.unlock();
  }
  bool HeldByThisThread() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }
  // The depth is changed only by the owner, so the owner may read it.
  bool HeldOnceByThisThread() const { return HeldByThisThread() && depth_ == 1; }

 private:
  std::recursive_mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;
};

// The item tree and its lock. The root is handed out only to a thread that
// holds the lock: through a locked handle, through With, or, for code that
// runs inside a locked section (a transfer step), through root(), which stops
// the program when the lock is not held.
class Tree {
 public:
  class Access {
   public:
    explicit Access(Tree& tree) : guard_(tree.lock_), root_(tree.root_) {}
    Item& root() const { return root_; }
    Item* operator->() const { return &root_; }

   private:
    std::lock_guard<TreeLock> guard_;
    Item& root_;
  };

  Tree() = default;
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  Access Lock() { return Access(*this); }

  template <typename Work>
  decltype(auto) With(Work&& work) {
    std::lock_guard guard(lock_);
    return work(root_);
  }

  Item& root() {
    if (!lock_.HeldByThisThread()) {
      std::abort();  // a programming error: the tree was reached without its lock
    }
    return root_;
  }

  TreeLock& lock() { return lock_; }

 private:
  TreeLock lock_;
  Item root_;
};

// Runs blocking work (a name lookup) with the tree lock let go. The caller must
// hold it exactly once: a nested hold would keep it locked through the work
// and stall every other thread, so that is stopped as a programming error.
template <typename Work>
void WithoutTreeLock(TreeLock& lock, Work&& work) {
  if (!lock.HeldOnceByThisThread()) {
    std::abort();
  }
  lock.unlock();
  work();
  lock.lock();
}

}  // namespace pellmarsh
