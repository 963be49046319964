#include "desktop/qt_user_messages.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace pellmarsh {
namespace {

// On the window thread too (from a worker it waits through the GUI queue,
// which checks as well): a box open under the tree lock would hold every
// other thread for as long as it is open.
TEST(QtUserMessagesDeathTest, AMessageUnderTheTreeLockStopsTheProgram) {
  int argc = 0;
  QCoreApplication application(argc, nullptr);
  QtUserMessages messages;
  Tree tree;
  Tree::Access access(tree);
  EXPECT_DEATH(messages.Show({"Go on?"}), "under the tree lock");
}

}  // namespace
}  // namespace pellmarsh
