#include "transfer/unfinished_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/scripted_server.h"
#include "transfer/session/session_harness.h"

namespace pellmarsh {
namespace {

using namespace std::chrono_literals;
using Script = testing::ScriptedServer::Script;
using UnfinishedFileTest = testing::SessionHarness;

TEST_F(UnfinishedFileTest, ADownloadShowsUnderItsFinalNameOnlyOnceWhole) {
  testing::ScriptedServer server({Script()
                                      .ReadUntil("\r\n\r\n")
                                      .Send("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nabc")
                                      .Pause(300ms)
                                      .Send("def")});
  const std::string local = dir.File("a.bin");
  Item& item = NewItem("http://127.0.0.1:" + std::to_string(server.port()) + "/a.bin", local);
  auto session = Session(item);
  ASSERT_TRUE(testing::WaitFor(
      [&] {
        session->Step();
        return item.GetPropInt64(key::kReceived) == 3;
      },
      10s, 0ms));
  EXPECT_EQ(OnDisk(Unfinished(local)), "abc");
  EXPECT_FALSE(testing::FileExistsOnDisk(local));

  RunToEnd(*session);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kError);
  EXPECT_EQ(OnDisk(local), "abcdef");
  EXPECT_FALSE(testing::FileExistsOnDisk(Unfinished(local)));
}

// Whatever took the final name while the download ran keeps it.
TEST_F(UnfinishedFileTest, AFinalNameTakenMeanwhileGivesTheNextFreeOneAndTheItemFollows) {
  testing::WriteFile(dir.File("source"), "new");
  testing::WriteFile(dir.File("victim"), "precious");
  const struct {
    const char* what;
    std::string requested;
    std::function<void(const std::string&)> takeName;
    std::string savedAs;
  } rows[] = {
      {"a free name", "free.bin", [](const std::string&) {}, "free.bin"},
      {"a file", "file.bin", [](const std::string& path) { testing::WriteFile(path, "mine"); },
       "file(1).bin"},
      {"a link to a file", "link.bin",
       [&](const std::string& path) { ::symlink(dir.File("victim").c_str(), path.c_str()); },
       "link(1).bin"},
      {"a directory", "dir.bin",
       [](const std::string& path) { std::filesystem::create_directory(path); }, "dir(1).bin"},
  };
  for (const auto& row : rows) {
    const std::string local = names.MakeUniqueLocalPath(dir.File(row.requested));
    Item& item = NewItem("file://" + dir.File("source"), local);
    item.SetProp(key::kName, row.requested);
    row.takeName(local);
    auto session = Session(item);
    RunToEnd(*session);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << row.what;
    EXPECT_EQ(item.GetProp(key::kLocal), dir.File(row.savedAs)) << row.what;
    EXPECT_EQ(item.GetProp(key::kName), row.savedAs) << row.what;
    EXPECT_EQ(OnDisk(dir.File(row.savedAs)), "new") << row.what;
    EXPECT_EQ(Logged(item, "Saved as " + row.savedAs + ": " + row.requested + " was taken."),
              row.requested != row.savedAs)
        << row.what;
  }
  EXPECT_EQ(OnDisk(dir.File("victim")), "precious");
  EXPECT_EQ(OnDisk(dir.File("file.bin")), "mine");
}

// The bytes an older data file's download left under the final name are
// where it goes on from; nothing else is moved.
TEST_F(UnfinishedFileTest, OnlyAResumingUnfinishedDownloadsBytesMoveAsideAfterLoading) {
  testing::WriteFile(dir.File("victim"), "precious");
  const struct {
    const char* name;
    int status;
    int resume;
    bool link;
    bool moved;
  } rows[] = {
      {"resuming", kStatusQueued, 1, false, true},
      {"held", kStatusOnHold, 1, false, true},
      {"started over", kStatusQueued, 0, false, false},
      {"complete", kStatusComplete, 1, false, false},
      {"a link", kStatusQueued, 1, true, false},
  };
  for (const auto& row : rows) {
    Item& item = NewItem("http://host/x", dir.File(row.name));
    item.SetPropInt(key::kStatus, row.status);
    item.SetPropInt(key::kResume, row.resume);
    if (row.link) {
      ::symlink(dir.File("victim").c_str(), dir.File(row.name).c_str());
    } else {
      testing::WriteFile(dir.File(row.name), "bytes");
    }
  }
  {
    Tree::Access access(tree);
    MoveOlderDownloadsAside(access.root());
  }
  for (const auto& row : rows) {
    EXPECT_EQ(testing::FileExistsOnDisk(Unfinished(dir.File(row.name))), row.moved) << row.name;
    EXPECT_NE(testing::FileExistsOnDisk(dir.File(row.name)), row.moved) << row.name;
  }
  EXPECT_EQ(OnDisk(dir.File("victim")), "precious");
}

}  // namespace
}  // namespace pellmarsh
