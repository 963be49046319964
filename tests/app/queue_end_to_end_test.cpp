// The real scheduler thread working a queue of local copies by itself.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/app.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/app_harness.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

TEST(QueueEndToEnd, TenCopiesWithAThreeConnectionLimitAllCompleteAndAreSaved) {
  testing::AppHarness harness;
  App& app = harness.Load();
  const std::string data(2 * 1024 * 1024, 'p');
  {
    Tree::Access tree(app.tree());
    tree->SetPropInt(setting::kMaxCons, 3);
    for (int index = 0; index < 10; ++index) {
      const std::string name = "file" + std::to_string(index);
      testing::WriteFile(harness.dir.File(name), data);
      harness.Queue("file://" + harness.dir.File(name), harness.dir.File(name + ".copy"));
    }
  }
  app.StartWorkers();

  int mostRunning = 0;
  bool allComplete = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!allComplete && std::chrono::steady_clock::now() < deadline) {
    {
      TreeLockGuard lock(app.tree().lock());
      int running = 0;
      int complete = 0;
      Item& list = *app.tree().root().FindByName("_filelist");
      for (int index = 0; index < list.ChildCount(); ++index) {
        const int status = list.ChildAt(index)->GetPropInt(key::kStatus);
        running += status == kStatusTransferring || status == kStatusStarting;
        complete += status == kStatusComplete;
      }
      mostRunning = std::max(mostRunning, running);
      allComplete = complete == 10;
    }
    app.SaveIfRequested();  // what the one-second timer does
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(allComplete);
  EXPECT_LE(mostRunning, 3);
  // Removing the last transfer asks for a save after every item was complete;
  // the timer has written it or writes it now.
  ASSERT_TRUE(testing::WaitFor(
      [&] {
        TreeLockGuard lock(app.state().tree.lock());
        return app.state().activeTransfers.empty();
      },
      std::chrono::seconds(10)));
  app.SaveIfRequested();
  harness.StopWorkers();

  Item saved;
  LoadTree(saved, testing::ReadFile(harness.dir.File("pmarsh.dat")));
  const Item& list = *saved.FindByName("_filelist");
  ASSERT_EQ(list.ChildCount(), 10);
  for (int index = 0; index < 10; ++index) {
    EXPECT_EQ(list.ChildAt(index)->GetPropInt(key::kStatus), kStatusComplete);
    EXPECT_EQ(list.ChildAt(index)->GetProp(key::kReceived), std::to_string(data.size()));
  }
  EXPECT_EQ(testing::ReadFile(harness.dir.File("file7.copy")), data);
}

}  // namespace
}  // namespace pellmarsh
