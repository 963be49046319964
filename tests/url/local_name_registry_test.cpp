#include "url/local_name_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

#include "store/keys.h"
#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

class LocalNameRegistryTest : public ::testing::Test {
 protected:
  std::string Unique(const std::string& name) { return names.MakeUniqueLocalPath(dir.File(name)); }

  testing::TempDir dir;
  Tree tree;
  LocalNameRegistry names{tree};
};

TEST_F(LocalNameRegistryTest, CollisionsCountUpPerRequestedPathAndNeverReuseAFreedSuffix) {
  const std::pair<const char*, const char*> requests[] = {
      {"a.zip", "a.zip"},         {"a.zip", "a(1).zip"},          {"a.zip", "a(2).zip"},
      {"sub/a.zip", "sub/a.zip"}, {"sub/a.zip", "sub/a(1).zip"},  {"README", "README"},
      {"README", "README(1)"},    {"my.d/README", "my.d/README"}, {"my.d/README", "my.d/README(1)"},
  };
  for (const auto& [requested, given] : requests) {
    EXPECT_EQ(Unique(requested), dir.File(given)) << requested;
  }
  names.Release(dir.File("a(1).zip"));
  EXPECT_EQ(Unique("a.zip"), dir.File("a(3).zip"));
  names.Release(dir.File("a.zip"));
  EXPECT_EQ(Unique("a.zip"), dir.File("a.zip"));
}

TEST_F(LocalNameRegistryTest, AFileOrDirectoryOnDiskIsInTheWay) {
  testing::WriteFile(dir.File("b.zip"), "x");
  testing::WriteFile(dir.File("b(1).zip"), "x");
  std::filesystem::create_directory(dir.File("c.zip"));
  EXPECT_EQ(Unique("b.zip"), dir.File("b(2).zip"));
  EXPECT_EQ(Unique("c.zip"), dir.File("c(1).zip"));
}

TEST_F(LocalNameRegistryTest, QueuedAndClippedItemsOwnTheirNamesBeforeTheirFilesExist) {
  Tree::Access access(tree);
  for (const char* folder : {"_filelist", "_fileclip", "_filearchive"}) {
    Item& url = access->FindOrCreateChild(folder).FindOrCreateChild("url");
    url.SetProp(key::kType, "_url");
    url.SetProp(key::kLocal, dir.File(folder));
  }
  EXPECT_EQ(Unique("_filelist"), dir.File("_filelist(1)"));
  EXPECT_EQ(Unique("_fileclip"), dir.File("_fileclip(1)"));
  EXPECT_EQ(Unique("_filearchive"), dir.File("_filearchive"));
}

TEST_F(LocalNameRegistryTest, ADirectoryWhereNoNameCanBeProbedStillEndsWithDistinctNames) {
  testing::WriteFile(dir.File("plain"), "not a directory");
  const std::string first = Unique("plain/x.zip");
  EXPECT_NE(Unique("plain/x.zip"), first);
}

TEST_F(LocalNameRegistryTest, TwoThreadsNeverGetTheSameName) {
  std::vector<std::string> got[2];
  std::thread threads[2];
  for (int t = 0; t < 2; ++t) {
    threads[t] = std::thread([&, t] {
      for (int i = 0; i < 200; ++i) {
        got[t].push_back(Unique("same.zip"));
      }
    });
  }
  std::set<std::string> all;
  for (int t = 0; t < 2; ++t) {
    threads[t].join();
    all.insert(got[t].begin(), got[t].end());
  }
  EXPECT_EQ(all.size(), 400u);
}

}  // namespace
}  // namespace pellmarsh
