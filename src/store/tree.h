#pragma once

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/thread_annotations.h"
#include "store/item.h"

namespace pellmarsh {

// The one lock of the program's shared data (see app/app_state.h for what it
// guards and who takes it). Recursive because a transfer step that holds it
// raises events and asks the local-name registry, which take it for their
// other callers; it counts how deep the owning thread holds it, so that code
// which must let go of it entirely can check that it can.
class CAPABILITY("mutex") TreeLock {
 public:
  void lock() ACQUIRE() {
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    ++depth_;
    ++heldByThisThread_;
  }
  void unlock() RELEASE() {
    --heldByThisThread_;
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
  // Whether the calling thread holds any tree lock, for code that has no tree
  // at hand (waiting on the window thread).
  static bool AnyHeldByThisThread() { return heldByThisThread_ > 0; }

 private:
  std::recursive_mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;
  static inline thread_local int heldByThisThread_ = 0;
};

// Holds a tree lock for the scope it lives in.
class SCOPED_CAPABILITY TreeLockGuard {
 public:
  explicit TreeLockGuard(TreeLock& lock) ACQUIRE(lock) : lock_(lock) { lock_.lock(); }
  ~TreeLockGuard() RELEASE() { lock_.unlock(); }
  TreeLockGuard(const TreeLockGuard&) = delete;
  TreeLockGuard& operator=(const TreeLockGuard&) = delete;

 private:
  TreeLock& lock_;
};

// Stops the program when the calling thread holds a tree lock: called by
// whatever waits for another thread (the window thread's answer), which would
// wait for ever on a thread that needs the lock, as the list refresh does.
inline void AbortIfTreeLockHeld() {
  if (TreeLock::AnyHeldByThisThread()) {
    std::fputs("Pellmarsh: a wait for another thread under the tree lock\n", stderr);
    std::abort();
  }
}

// The item tree and its lock. The root is handed out only to a thread that
// holds the lock: through a locked handle, through With, or, for code that
// runs inside a locked section (a transfer step), through root(), which stops
// the program when the lock is not held.
class Tree {
 public:
  // The lock held and the root at hand for the scope it lives in:
  // `Tree::Access tree(state.tree);` (the analysis follows a handle made like
  // this, not one returned by Lock()).
  class SCOPED_CAPABILITY Access {
   public:
    explicit Access(Tree& tree) ACQUIRE(tree.lock_) : lock_(tree.lock_), root_(tree.root_) {
      lock_.lock();
    }
    ~Access() RELEASE() { lock_.unlock(); }
    Access(const Access&) = delete;
    Access& operator=(const Access&) = delete;

    Item& root() const& { return root_; }
    // A reference taken from a temporary handle would outlive the lock.
    Item& root() && = delete;
    Item* operator->() const { return &root_; }

   private:
    TreeLock& lock_;
    Item& root_;
  };

  Tree() = default;
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  // A handle for one expression: `tree.Lock()->GetProp(...)`.
  Access Lock() { return Access(*this); }

  // `work` gets the root and should use nothing else that the lock guards:
  // the analysis cannot see the lock held inside it. Such work holds an
  // Access instead.
  template <typename Work>
  decltype(auto) With(Work&& work) {
    Access access(*this);
    return work(access.root());
  }

  Item& root() REQUIRES(lock_) {
    if (!lock_.HeldByThisThread()) {
      std::abort();  // a programming error: the tree was reached without its lock
    }
    return root_;
  }

  TreeLock& lock() RETURN_CAPABILITY(lock_) { return lock_; }

 private:
  TreeLock lock_;
  Item root_ GUARDED_BY(lock_);
};

// Runs blocking work (a name lookup) with the tree lock let go. The caller must
// hold it exactly once: a nested hold would keep it locked through the work
// and stall every other thread, so that is stopped as a programming error.
template <typename Work>
void WithoutTreeLock(TreeLock& lock, Work&& work) REQUIRES(lock) {
  if (!lock.HeldOnceByThisThread()) {
    std::abort();
  }
  lock.unlock();
  work();
  lock.lock();
}

}  // namespace pellmarsh
