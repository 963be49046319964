// Downloads through the real scheduler thread over links that break.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/app_harness.h"
#include "support/chaos_server.h"
#include "support/cutting_proxy.h"
#include "support/ftp_server.h"
#include "support/nginx_server.h"
#include "support/random_bytes.h"
#include "support/wait.h"
#include "transfer/session/session_harness.h"

namespace pellmarsh {
namespace {

using namespace std::chrono_literals;

// Queued to retry after a second rather than after ten, twenty and more.
Item& QueueWithQuickRetries(testing::AppHarness& harness, const std::string& url,
                            const std::string& local) {
  TreeLockGuard lock(harness.app().tree().lock());
  Item& item = harness.Queue(url, local);
  item.SetPropInt(key::kRudeRetries, 1);
  return item;
}

TEST(FaultTolerance, AnHttpDownloadCutEveryEightMegabytesEndsWholeAfterResumes) {
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  const std::string data = testing::RandomBytes(64u << 20, 64);
  nginx.AddFile("/big.bin", data);
  testing::CuttingProxy proxy(nginx.port(), 8 << 20, testing::CuttingProxy::Cut::kReset);
  testing::AppHarness harness;
  App& app = harness.Start();
  {
    // Every cut resumes the one connection; parts would each retry alone.
    TreeLockGuard lock(app.tree().lock());
    app.tree().root().SetPropInt(setting::kConnectionsPerDownload, 1);
  }
  Item& item = QueueWithQuickRetries(
      harness, "http://127.0.0.1:" + std::to_string(proxy.port()) + "/big.bin",
      harness.dir.File("big.bin"));
  ASSERT_TRUE(testing::WaitFor([&] { return harness.Status(item) == kStatusComplete; }, 120s))
      << item.GetProp(key::kLog);
  EXPECT_TRUE(testing::ReadFile(harness.dir.File("big.bin")) == data);
  EXPECT_GE(proxy.connectionsCut(), 7);
  TreeLockGuard lock(app.tree().lock());
  EXPECT_GE(item.GetPropInt(key::kRetryCount), 7);
}

TEST(FaultTolerance, AnFtpDownloadCutEveryEightMegabytesEndsWholeAfterResumes) {
  testing::FtpServer::Options options;
  options.cutDataAfter = 8 << 20;
  testing::FtpServer ftp(options);
  ASSERT_TRUE(ftp.Start());
  const std::string data = testing::RandomBytes(64u << 20, 64);
  ftp.AddFile("/big.bin", data);
  testing::AppHarness harness;
  App& app = harness.Start();
  Item& item =
      QueueWithQuickRetries(harness, "ftp://127.0.0.1:" + std::to_string(ftp.port()) + "/big.bin",
                            harness.dir.File("big.bin"));
  {
    TreeLockGuard lock(app.tree().lock());
    item.SetProp(key::kLogin, ftp.user());
    item.SetProp(key::kPassword, ftp.password());
  }
  ASSERT_TRUE(testing::WaitFor([&] { return harness.Status(item) == kStatusComplete; }, 120s))
      << item.GetProp(key::kLog);
  EXPECT_TRUE(testing::ReadFile(harness.dir.File("big.bin")) == data);
  TreeLockGuard lock(app.tree().lock());
  EXPECT_GE(item.GetPropInt(key::kRetryCount), 7);
}

// Text mode converts line ends, so a resume must go on from the source bytes
// behind the file, not from its length.
TEST(FaultTolerance, TextDownloadsCutRepeatedlyEndAsOneConversionOfTheWhole) {
  const std::string data = testing::RandomBytes(4u << 20, 64);
  const std::string whole = testing::ConvertedLineEnds(data);
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/notes.bin", data);
  testing::CuttingProxy proxy(nginx.port(), 3 << 20, testing::CuttingProxy::Cut::kReset);
  testing::FtpServer::Options options;
  options.cutDataAfter = 3 << 20;
  testing::FtpServer ftp(options);
  ASSERT_TRUE(ftp.Start());
  ftp.AddFile("/notes.bin", data);

  testing::AppHarness harness;
  App& app = harness.Start();
  const std::string http = "http://127.0.0.1:" + std::to_string(proxy.port()) + "/notes.bin";
  const std::string ftpUrl = "ftp://127.0.0.1:" + std::to_string(ftp.port()) + "/notes.bin";
  std::vector<Item*> items;
  for (const std::string& url : {http, ftpUrl}) {
    const std::string local = harness.dir.File(std::to_string(items.size()) + ".txt");
    Item& item = QueueWithQuickRetries(harness, url, local);
    TreeLockGuard lock(app.tree().lock());
    item.SetPropInt(key::kTransferCode, 2);
    item.SetProp(key::kLogin, ftp.user());
    item.SetProp(key::kPassword, ftp.password());
    items.push_back(&item);
  }
  for (Item* item : items) {
    ASSERT_TRUE(testing::WaitFor([&] { return harness.Status(*item) == kStatusComplete; }, 120s))
        << item->GetProp(key::kLog);
    TreeLockGuard lock(app.tree().lock());
    EXPECT_GE(item->GetPropInt(key::kRetryCount), 1) << item->GetProp(key::kValue);
    EXPECT_TRUE(testing::ReadFile(item->GetProp(key::kLocal)) == whole)
        << item->GetProp(key::kValue);
  }
}

// The attempts an item's log shows, when each attempt appends to it.
int Attempts(const Item& item) {
  const std::string log = item.GetProp(key::kLog);
  int attempts = 0;
  for (size_t at = log.find("Start: "); at != std::string::npos; at = log.find("Start: ", at + 1)) {
    ++attempts;
  }
  return attempts;
}

TEST(FaultTolerance, AQueueAgainstAMisbehavingServerKeepsRunning) {
  testing::ChaosServer chaos;
  testing::AppHarness harness;
  App& app = harness.Start();
  {
    TreeLockGuard lock(app.tree().lock());
    app.tree().root().SetPropInt(setting::kMaxCons, 8);
    // All fifty share one server; eight run at once, as the timing below expects.
    app.tree().root().SetPropInt(setting::kConnectionsPerServer, 8);
    app.tree().root().SetPropInt(setting::kDelLog, 0);
  }
  std::vector<Item*> items;
  for (int index = 0; index < 50; ++index) {
    items.push_back(&QueueWithQuickRetries(
        harness, "http://127.0.0.1:" + std::to_string(chaos.port()) + "/f" + std::to_string(index),
        harness.dir.File("f" + std::to_string(index))));
  }
  // Every failure is tried again, the server's busy answer too.
  const auto triedAgain = [&](const Item& item) {
    return !item.GetProp(key::kError).empty() && Attempts(item) >= 2;
  };
  // About 45 seconds when idle, as the queue is started in turn and each retry
  // waits for the once-a-second countdown; a stall the server never lets go
  // adds the session's one-minute receive time-out, a loaded machine more.
  const bool settled = testing::WaitFor(
      [&] {
        app.SaveIfRequested();  // what the one-second timer does
        TreeLockGuard lock(app.tree().lock());
        return std::all_of(items.begin(), items.end(),
                           [&](const Item* item) { return triedAgain(*item); });
      },
      240s, 100ms);
  TreeLockGuard lock(app.tree().lock());
  EXPECT_TRUE(settled);
  EXPECT_GT(chaos.connections(), 50);
  for (const Item* item : items) {
    const int status = item->GetPropInt(key::kStatus);
    const std::string error = item->GetProp(key::kError);
    // Queued, running or waiting to retry, with a message: never lost, never given up.
    EXPECT_TRUE(status == kStatusQueued || status == kStatusTransferring ||
                status == kStatusStarting || status == kStatusWaitingToRetry)
        << status << ": " << error;
    EXPECT_FALSE(error.empty()) << item->GetProp(key::kLog);
    EXPECT_GE(Attempts(*item), 2) << item->GetProp(key::kLog);
  }
}

}  // namespace
}  // namespace pellmarsh
