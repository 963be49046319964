#include "store/tree.h"

#include <gtest/gtest.h>

#include <thread>

#include "store/keys.h"

namespace pellmarsh {
namespace {

TEST(TreeDeathTest, TheRootIsOnlyReachedWithTheLockHeld) {
  Tree tree;
  EXPECT_DEATH(tree.root(), "");
  auto access = tree.Lock();
  access->SetProp(key::kName, "Top Folder");
  EXPECT_EQ(tree.root().GetProp(key::kName), "Top Folder");
}

TEST(TreeDeathTest, LettingGoOfTheLockNeedsItHeldExactlyOnce) {
  Tree tree;
  EXPECT_DEATH(WithoutTreeLock(tree.lock(), [] {}), "");
  std::lock_guard outer(tree.lock());
  std::lock_guard inner(tree.lock());
  EXPECT_DEATH(WithoutTreeLock(tree.lock(), [] {}), "");
}

TEST(Tree, AnotherThreadGetsTheTreeWhileTheLockIsLetGo) {
  Tree tree;
  auto access = tree.Lock();
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
