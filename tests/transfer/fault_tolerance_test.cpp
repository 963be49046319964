// Downloads through the real scheduler thread over links that break.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/app_harness.h"
#include "support/chaos_server.h"
#include "support/cutting_proxy.h"
#include "support/ftp_server.h"
#include "support/nginx_server.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

using namespace std::chrono_literals;

std::string PatternBytes(size_t size) {
  std::string bytes(size, '\0');
  std::mt19937 random(64);
  for (char& byte : bytes) {
    byte = static_cast<char>(random() & 0xFF);
  }
  return bytes;
}

// Queued to retry after a second rather than after ten, twenty and more.
Item& QueueWithQuickRetries(testing::AppHarness& harness, const std::string& url,
                            const std::string& local) {
  std::lock_guard lock(harness.app().treeLock());
  Item& item = harness.Queue(url, local);
  item.SetPropInt(key::kRudeRetries, 1);
  return item;
}

TEST(FaultTolerance, AnHttpDownloadCutEveryEightMegabytesEndsWholeAfterResumes) {
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  const std::string data = PatternBytes(64u << 20);
  nginx.AddFile("/big.bin", data);
  testing::CuttingProxy proxy(nginx.port(), 8 << 20, testing::CuttingProxy::Cut::kReset);
  testing::AppHarness harness;
  App& app = harness.Start();
  Item& item = QueueWithQuickRetries(
      harness, "http://127.0.0.1:" + std::to_string(proxy.port()) + "/big.bin",
      harness.dir.File("big.bin"));
  ASSERT_TRUE(testing::WaitFor([&] { return harness.Status(item) == 2; }, 120s))
      << item.GetProp(key::kLog);
  EXPECT_TRUE(testing::ReadFile(harness.dir.File("big.bin")) == data);
  EXPECT_GE(proxy.connectionsCut(), 7);
  std::lock_guard lock(app.treeLock());
  EXPECT_GE(item.GetPropInt(key::kRetryCount), 7);
}

TEST(FaultTolerance, AnFtpDownloadCutEveryEightMegabytesEndsWholeAfterResumes) {
  testing::FtpServer::Options options;
  options.cutDataAfter = 8 << 20;
  testing::FtpServer ftp(options);
  ASSERT_TRUE(ftp.Start());
  const std::string data = PatternBytes(64u << 20);
  ftp.AddFile("/big.bin", data);
  testing::AppHarness harness;
  App& app = harness.Start();
  Item& item =
      QueueWithQuickRetries(harness, "ftp://127.0.0.1:" + std::to_string(ftp.port()) + "/big.bin",
                            harness.dir.File("big.bin"));
  {
    std::lock_guard lock(app.treeLock());
    item.SetProp(key::kLogin, ftp.user());
    item.SetProp(key::kPassword, ftp.password());
  }
  ASSERT_TRUE(testing::WaitFor([&] { return harness.Status(item) == 2; }, 120s))
      << item.GetProp(key::kLog);
  EXPECT_TRUE(testing::ReadFile(harness.dir.File("big.bin")) == data);
  std::lock_guard lock(app.treeLock());
  EXPECT_GE(item.GetPropInt(key::kRetryCount), 7);
}

TEST(FaultTolerance, AQueueAgainstAMisbehavingServerKeepsRunning) {
  testing::ChaosServer chaos;
  testing::AppHarness harness;
  App& app = harness.Start();
  {
    std::lock_guard lock(app.treeLock());
    app.root().SetPropInt(setting::kMaxCons, 8);
  }
  std::vector<Item*> items;
  for (int index = 0; index < 50; ++index) {
    items.push_back(&QueueWithQuickRetries(
        harness, "http://127.0.0.1:" + std::to_string(chaos.port()) + "/f" + std::to_string(index),
        harness.dir.File("f" + std::to_string(index))));
  }
  const auto until = std::chrono::steady_clock::now() + 120s;
  while (std::chrono::steady_clock::now() < until) {
    app.SaveIfRequested();
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_GT(chaos.connections(), 50);
  std::lock_guard lock(app.treeLock());
  for (const Item* item : items) {
    const int status = item->GetPropInt(key::kStatus);
    // Queued, running, waiting to retry, or failed with a message: never lost.
    EXPECT_TRUE(status == 1 || status == 100 || status == 104 || status == 5 || status == 3)
        << status;
    if (status == 5 || status == 3) {
      EXPECT_FALSE(item->GetProp(key::kError).empty());
    }
  }
}

}  // namespace
}  // namespace pellmarsh
