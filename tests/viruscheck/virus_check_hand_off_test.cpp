// Completed downloads reach the user's checker by themselves when automatic
// checking is on.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/app.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/app_harness.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

TEST(VirusCheckHandOff, EveryCompletedDownloadIsCheckedAndItsVerdictLogged) {
  testing::AppHarness harness;
  App& app = harness.Load();
  testing::TempDir& dir = harness.dir;
  const std::string checker = dir.File("checker");
  testing::WriteFile(checker, "#!/bin/sh\ncase \"$1\" in *bad*) exit 1;; esac\nexit 0\n");
  ::chmod(checker.c_str(), 0700);
  harness.CheckVirusesWith(checker);
  std::vector<Item*> items;
  {
    Tree::Access tree(app.tree());
    for (const char* name : {"good.zip", "bad.zip"}) {
      testing::WriteFile(dir.File(name), name);
      items.push_back(
          &harness.Queue("file://" + dir.File(name), dir.File(std::string("copy-") + name)));
    }
  }
  app.StartWorkers();
  const bool checked = testing::WaitFor(
      [&] {
        Tree::Access tree(app.tree());
        return items[0]->GetPropInt(key::kVirusCheck) != 0 &&
               items[1]->GetPropInt(key::kVirusCheck) != 0;
      },
      std::chrono::seconds(30));
  harness.StopWorkers();
  ASSERT_TRUE(checked);
  Tree::Access tree(app.tree());
  EXPECT_EQ(items[0]->GetPropInt(key::kVirusCheck), 2);
  EXPECT_EQ(items[1]->GetPropInt(key::kVirusCheck), 1);
  EXPECT_NE(items[1]->GetProp(key::kLog).find("Virus check returned: 1 (File INFECTED)"),
            std::string::npos);
  EXPECT_TRUE(harness.messages.shown.empty());
}

}  // namespace
}  // namespace pellmarsh
