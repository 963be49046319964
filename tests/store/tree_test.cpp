#include "store/tree.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "store/keys.h"

namespace pellmarsh {
namespace {

// The death tests break the lock's rules on purpose, which the analysis refuses.
Item& RootUnchecked(Tree& tree) NO_THREAD_SAFETY_ANALYSIS {
  return tree.root();
}
void LetGoUnchecked(Tree& tree) NO_THREAD_SAFETY_ANALYSIS {
  WithoutTreeLock(tree.lock(), [] {});
}

TEST(TreeDeathTest, TheRootIsOnlyReachedWithTheLockHeld) {
  Tree tree;
  EXPECT_DEATH(RootUnchecked(tree), "");
  Tree::Access access(tree);
  access->SetProp(key::kName, "Top Folder");
  EXPECT_EQ(tree.root().GetProp(key::kName), "Top Folder");
}

TEST(TreeDeathTest, LettingGoOfTheLockNeedsItHeldExactlyOnce) {
  Tree tree;
  EXPECT_DEATH(LetGoUnchecked(tree), "");
  std::lock_guard outer(tree.lock());
  std::lock_guard inner(tree.lock());
  EXPECT_DEATH(LetGoUnchecked(tree), "");
}

TEST(Tree, AnotherThreadGetsTheTreeWhileTheLockIsLetGo) {
  Tree tree;
  Tree::Access access(tree);
  bool otherRan = false;
  WithoutTreeLock(tree.lock(), [&] {
    std::thread other([&] { tree.With([&](Item& root) { otherRan = root.ChildCount() == 0; }); });
    other.join();
  });
  EXPECT_TRUE(otherRan);
  EXPECT_TRUE(tree.lock().HeldOnceByThisThread());
}

}  // namespace
}  // namespace pellmarsh
