#include <gtest/gtest.h>

#include <QCoreApplication>

#include "desktop/qt_gui_queue.h"
#include "desktop/qt_user_messages.h"

namespace pellmarsh {
namespace {

// A wait for the window thread, or a box open under the tree lock, would hold
// every other thread for as long as it lasts: both stop the program instead.
TEST(TreeLockWaitsDeathTest, WaitingForTheWindowThreadOrAnAnswerStopsTheProgram) {
  int argc = 0;
  QCoreApplication application(argc, nullptr);
  QtGuiQueue queue;
  QtUserMessages messages;
  // The wait would end at once (its stop is set), so only the check can stop it.
  const std::atomic<bool> stop{true};
  Tree tree;
  Tree::Access access(tree);
  EXPECT_DEATH(queue.RunAndWait<int>([](const std::atomic<bool>&) { return 1; }, &stop),
               "under the tree lock");
  EXPECT_DEATH(messages.Show({"Go on?"}), "under the tree lock");
}

}  // namespace
}  // namespace pellmarsh
