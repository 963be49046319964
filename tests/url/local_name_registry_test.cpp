#include "url/local_name_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

#include "store/item_status.h"
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

TEST_F(LocalNameRegistryTest, AFileOrDirectoryOnDiskIsInTheWayAsItIsOrUnfinished) {
  testing::WriteFile(dir.File("b.zip"), "x");
  testing::WriteFile(dir.File("b(1).zip"), "x");
  std::filesystem::create_directory(dir.File("c.zip"));
  testing::WriteFile(UnfinishedPathOf(dir.File("d.zip")), "x");
  testing::WriteFile(UnfinishedPathOf(dir.File("d(1).zip")), "x");
  EXPECT_EQ(Unique("b.zip"), dir.File("b(2).zip"));
  EXPECT_EQ(Unique("c.zip"), dir.File("c(1).zip"));
  EXPECT_EQ(Unique("d.zip"), dir.File("d(2).zip"));
}

// Only a download that will still write its file holds its name before the
// file exists; a finished one's file and a clipboard record hold none.
TEST_F(LocalNameRegistryTest, OnlyUnfinishedDownloadsOwnTheirNamesBeforeTheirFilesExist) {
  const struct {
    const char* folder;
    int status;
    std::string name, given;
  } rows[] = {
      {"_filelist", kStatusQueued, "queued", "queued(1)"},
      {"_filelist", kStatusOnHold, "held", "held(1)"},
      {"_filelist", kStatusWaitingToRetry, "retrying", "retrying(1)"},
      {"_filelist", kStatusTransferring, "running", "running(1)"},
      {"_filelist", kStatusComplete, "complete", "complete"},
      {"_fileclip", kStatusClipped, "clipped", "clipped"},
      {"_filearchive", kStatusComplete, "archived", "archived"},
  };
  {
    Tree::Access access(tree);
    for (const auto& row : rows) {
      Item& url = access->FindOrCreateChild(row.folder).FindOrCreateChild(row.name);
      url.SetProp(key::kType, "_url");
      url.SetPropInt(key::kStatus, row.status);
      url.SetProp(key::kLocal, dir.File(row.name));
    }
  }
  for (const auto& row : rows) {
    EXPECT_EQ(Unique(row.name), dir.File(row.given)) << row.name;
  }
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
