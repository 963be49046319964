// A small download to a server whose connections one large download holds,
// through the real scheduler thread and nginx.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "app/app.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/app_harness.h"
#include "support/nginx_server.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

constexpr int64_t kLargeSize = 200'000'000;
constexpr int64_t kMarkEvery = 64 * 1024;

// A sparse file with its own offset written every 64 KiB, so that a byte
// written at the wrong place shows, without writing 200 MB.
void WriteMarkedSparseFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::ftruncate(fd, kLargeSize), 0);
  for (int64_t at = 0; at + 16 < kLargeSize; at += kMarkEvery) {
    const std::string mark = std::to_string(at) + ";";
    ASSERT_EQ(::pwrite(fd, mark.data(), mark.size(), at), static_cast<ssize_t>(mark.size()));
  }
  ::close(fd);
}

bool SameFiles(const std::string& a, const std::string& b) {
  std::ifstream left(a, std::ios::binary);
  std::ifstream right(b, std::ios::binary);
  std::string one(1 << 20, '\0');
  std::string two(1 << 20, '\0');
  while (left && right) {
    left.read(one.data(), static_cast<std::streamsize>(one.size()));
    right.read(two.data(), static_cast<std::streamsize>(two.size()));
    if (left.gcount() != right.gcount() ||
        one.compare(0, static_cast<size_t>(left.gcount()), two, 0,
                    static_cast<size_t>(right.gcount())) != 0) {
      return false;
    }
  }
  return left.eof() && right.eof();
}

std::string PropOf(App& app, const Item& item, PropKey key) {
  TreeLockGuard lock(app.tree().lock());
  return item.GetProp(key);
}

TEST(ServerShare, ASmallFileTakesAConnectionFromALargeDownloadThatHoldsThemAll) {
  testing::NginxServer::Options options;
  // Capped per connection so that the large download runs for a while on
  // every connection the server allows.
  options.extraConfig = "    location /capped/ {\n      limit_rate 4m;\n    }\n";
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/capped/small.txt", "thirty bytes of a small file.\n");
  WriteMarkedSparseFile(nginx.root() + "/capped/large.bin");

  testing::AppHarness harness;
  App& app = harness.Load();
  {
    Tree::Access tree(app.tree());
    tree->SetPropInt(setting::kMaxCons, 3);
    tree->SetPropInt(setting::kConnectionsPerDownload, 4);
    tree->SetPropInt(setting::kConnectionsPerServer, 4);
  }
  Item& large = harness.Queue(nginx.Url("/capped/large.bin"), harness.dir.File("large.bin"));
  app.StartWorkers();
  // Every connection the server allows is the large download's once its
  // parts have each brought something.
  ASSERT_TRUE(testing::WaitFor(
      [&] {
        app.SaveIfRequested();  // parts wait for the map to be saved
        return PropOf(app, large, key::kLog).find("[4] ") != std::string::npos &&
               std::stoll("0" + PropOf(app, large, key::kReceived)) > 8'000'000;
      },
      std::chrono::seconds(30)))
      << PropOf(app, large, key::kLog);

  Item& small = harness.Queue(nginx.Url("/capped/small.txt"), harness.dir.File("small.txt"));
  app.state().startWalkDue.Raise();
  const auto queued = std::chrono::steady_clock::now();
  ASSERT_TRUE(testing::WaitFor(
      [&] {
        app.SaveIfRequested();
        return harness.Status(small) == kStatusComplete;
      },
      std::chrono::seconds(2)))
      << PropOf(app, small, key::kWaitingFor) << "\n"
      << PropOf(app, large, key::kLog);
  const auto waited = std::chrono::steady_clock::now() - queued;
  EXPECT_EQ(testing::ReadFile(harness.dir.File("small.txt")), "thirty bytes of a small file.\n");
  EXPECT_NE(PropOf(app, large, key::kLog).find("Gave a connection to another download."),
            std::string::npos);
  EXPECT_EQ(harness.Status(large), kStatusTransferring)
      << "ended within " << std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()
      << " ms";

  ASSERT_TRUE(testing::WaitFor(
      [&] {
        app.SaveIfRequested();
        return harness.Status(large) == kStatusComplete;
      },
      std::chrono::seconds(90)))
      << PropOf(app, large, key::kLog);
  harness.StopWorkers();
  EXPECT_TRUE(SameFiles(nginx.root() + "/capped/large.bin", harness.dir.File("large.bin")));
  // The part that gave its connection away asked for the rest of its range
  // again once the small file was done.
  const std::string log = PropOf(app, large, key::kLog);
  const size_t gave = log.find("] Gave a connection");
  ASSERT_NE(gave, std::string::npos) << log;
  const size_t open = log.rfind('[', gave);
  const std::string part = log.substr(open, gave + 1 - open);  // "[n]"
  EXPECT_NE(log.find(part + " Recv Line: HTTP/1.1 206", gave), std::string::npos) << log;
}

}  // namespace
}  // namespace pellmarsh
