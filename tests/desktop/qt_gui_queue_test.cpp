#include "desktop/qt_gui_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace pellmarsh {
namespace {

// The wait would end at once (its stop is set), so only the check can stop it.
TEST(QtGuiQueueDeathTest, WaitingForTheWindowThreadUnderTheTreeLockStopsTheProgram) {
  int argc = 0;
  QCoreApplication application(argc, nullptr);
  QtGuiQueue queue;
  const std::atomic<bool> stop{true};
  Tree tree;
  Tree::Access access(tree);
  EXPECT_DEATH(queue.RunAndWait<int>([](const std::atomic<bool>&) { return 1; }, &stop),
               "under the tree lock");
}

}  // namespace
}  // namespace pellmarsh
