// Downloads through the real scheduler thread over links that break.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "app/app.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/chaos_server.h"
#include "support/cutting_proxy.h"
#include "support/fakes.h"
#include "support/ftp_server.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
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

// The program's core with its scheduler running and no limit on speed.
class RunningApp {
 public:
  explicit RunningApp(const std::string& dir) : app(dir, messages, sounds, clock) {
    app.LoadTree();
    app.CompleteBuiltInTree();
    app.state().budget = 1'000'000'000;
    app.StartWorkers();
  }
  ~RunningApp() {
    app.StopWorkers([this] { clock.SleepMs(20); });
  }

  Item& Queue(const std::string& url, const std::string& local) {
    std::lock_guard lock(app.treeLock());
    Item& item = app.root().FindByName("_filelist")->AddChild(std::make_unique<Item>());
    item.SetProp(key::kType, "_url");
    item.SetProp(key::kValue, url);
    item.SetProp(key::kLocal, local);
    item.SetPropInt(key::kRudeRetries, 1);
    item.SetPropInt(key::kStatus, kStatusQueued);
    return item;
  }

  int Status(const Item& item) {
    std::lock_guard lock(app.treeLock());
    return item.GetPropInt(key::kStatus);
  }

  testing::RecordingMessages messages;
  testing::RecordingSounds sounds;
  SystemClock clock;
  App app;
};

TEST(FaultTolerance, AnHttpDownloadCutEveryEightMegabytesEndsWholeAfterResumes) {
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  const std::string data = PatternBytes(64u << 20);
  nginx.AddFile("/big.bin", data);
  testing::CuttingProxy proxy(nginx.port(), 8 << 20, testing::CuttingProxy::Cut::kReset);
  testing::TempDir dir;
  RunningApp running(dir.path());
  Item& item = running.Queue("http://127.0.0.1:" + std::to_string(proxy.port()) + "/big.bin",
                             dir.File("big.bin"));
  ASSERT_TRUE(testing::WaitFor([&] { return running.Status(item) == 2; }, 120s))
      << item.GetProp(key::kLog);
  EXPECT_TRUE(testing::ReadFile(dir.File("big.bin")) == data);
  EXPECT_GE(proxy.connectionsCut(), 7);
  std::lock_guard lock(running.app.treeLock());
  EXPECT_GE(item.GetPropInt(key::kRetryCount), 7);
}

TEST(FaultTolerance, AnFtpDownloadCutEveryEightMegabytesEndsWholeAfterResumes) {
  testing::FtpServer::Options options;
  options.cutDataAfter = 8 << 20;
  testing::FtpServer ftp(options);
  ASSERT_TRUE(ftp.Start());
  const std::string data = PatternBytes(64u << 20);
  ftp.AddFile("/big.bin", data);
  testing::TempDir dir;
  RunningApp running(dir.path());
  Item& item = running.Queue("ftp://127.0.0.1:" + std::to_string(ftp.port()) + "/big.bin",
                             dir.File("big.bin"));
  {
    std::lock_guard lock(running.app.treeLock());
    item.SetProp(key::kLogin, ftp.user());
    item.SetProp(key::kPassword, ftp.password());
  }
  ASSERT_TRUE(testing::WaitFor([&] { return running.Status(item) == 2; }, 120s))
      << item.GetProp(key::kLog);
  EXPECT_TRUE(testing::ReadFile(dir.File("big.bin")) == data);
  std::lock_guard lock(running.app.treeLock());
  EXPECT_GE(item.GetPropInt(key::kRetryCount), 7);
}

TEST(FaultTolerance, AQueueAgainstAMisbehavingServerKeepsRunning) {
  testing::ChaosServer chaos;
  testing::TempDir dir;
  RunningApp running(dir.path());
  {
    std::lock_guard lock(running.app.treeLock());
    running.app.root().SetPropInt(setting::kMaxCons, 8);
  }
  std::vector<Item*> items;
  for (int index = 0; index < 50; ++index) {
    items.push_back(&running.Queue(
        "http://127.0.0.1:" + std::to_string(chaos.port()) + "/f" + std::to_string(index),
        dir.File("f" + std::to_string(index))));
  }
  const auto until = std::chrono::steady_clock::now() + 120s;
  while (std::chrono::steady_clock::now() < until) {
    running.app.SaveIfRequested();
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_GT(chaos.connections(), 50);
  std::lock_guard lock(running.app.treeLock());
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
