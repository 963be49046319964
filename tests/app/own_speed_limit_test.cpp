// A download's own speed limit, through the real scheduler thread and nginx.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/app.h"
#include "app/speed_control.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/app_harness.h"
#include "support/nginx_server.h"
#include "support/random_bytes.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

int64_t Received(App& app, const Item& item) {
  TreeLockGuard lock(app.tree().lock());
  return item.GetPropInt64(key::kReceived);
}

// Both run at once for ten seconds: the limited one, which may use several
// connections, at its limit; the other as fast as the server goes.
TEST(OwnSpeedLimit, HoldsOneDownloadToItsRateWhileAnotherRunsFree) {
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  const std::string large = nginx.root() + "/large.bin";
  std::ofstream{large}.close();
  std::filesystem::resize_file(large, 400'000'000);
  nginx.AddFile("/free.bin", testing::RandomBytes(32'000'000, 5));

  testing::AppHarness harness;
  App& app = harness.Load();
  constexpr double kMegabyteASecond = 1'000'000 * 60 / 1024.0;  // kilobytes per minute
  Item& limited = harness.Queue(nginx.Url("/large.bin"), harness.dir.File("large.bin"));
  Item& free = harness.Queue(nginx.Url("/free.bin"), harness.dir.File("free.bin"));
  {
    Tree::Access tree(app.tree());
    tree->SetPropInt(setting::kConnectionsPerDownload, 4);
    limited.SetPropDouble(key::kSpeedLimit, kMegabyteASecond);
  }
  app.StartWorkers();
  ASSERT_TRUE(
      testing::WaitFor([&] { return Received(app, limited) > 0; }, std::chrono::seconds(10)));
  const int64_t first = Received(app, limited);
  const auto from = std::chrono::steady_clock::now();
  bool freeDone = false;
  ASSERT_TRUE(testing::WaitFor(
      [&] {
        app.SaveIfRequested();
        freeDone = freeDone || harness.Status(free) == kStatusComplete;
        return std::chrono::steady_clock::now() - from >= std::chrono::seconds(10);
      },
      std::chrono::seconds(15)));
  const int64_t got = Received(app, limited) - first;
  harness.StopWorkers();
  EXPECT_NEAR(static_cast<double>(got), 10'000'000.0, 500'000.0);
  EXPECT_TRUE(freeDone);
}

}  // namespace
}  // namespace pellmarsh
