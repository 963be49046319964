// Twenty local copies of 100 MiB through the real scheduler thread with four
// connections, against cat of the same files; then the scheduler's CPU use
// over ten idle seconds, and again with 100,000 finished items in the list.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "platform/clock.h"
#include "platform/sound_player.h"
#include "platform/user_messages.h"
#include "quiet_platform.h"
#include "run_time.h"
#include "sample_tree.h"
#include "store/item_status.h"
#include "store/keys.h"

namespace {

using key = pellmarsh::key;
using setting = pellmarsh::setting;

using SteadyClock = std::chrono::steady_clock;

double SecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::strtol(line.c_str() + 6, nullptr, 10);
    }
  }
  return -1;
}

bool AllComplete(pellmarsh::App& app) {
  pellmarsh::Tree::Access tree(app.state().tree);
  const pellmarsh::Item& list = *tree->FindByName("_filelist");
  for (int index = 0; index < list.ChildCount(); ++index) {
    if (list.ChildAt(index)->GetPropInt(key::kStatus) != pellmarsh::kStatusComplete) {
      return false;
    }
  }
  return app.state().activeTransfers.empty();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/dev/shm/pellmarsh-scheduler-bench";
  std::filesystem::create_directories(dir);
  constexpr int kFiles = 20;
  constexpr int64_t kSize = 100LL << 20;
  {
    std::vector<char> block(1 << 20, 'x');
    for (int index = 0; index < kFiles; ++index) {
      std::ofstream out(dir + "/source" + std::to_string(index), std::ios::binary);
      for (int64_t written = 0; written < kSize; written += static_cast<int64_t>(block.size())) {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
      }
    }
  }

  const auto catStart = SteadyClock::now();
  for (int index = 0; index < kFiles; ++index) {
    const std::string command = "cat '" + dir + "/source" + std::to_string(index) + "' > '" + dir +
                                "/cat" + std::to_string(index) + "'";
    if (std::system(command.c_str()) != 0) {
      std::perror("cat");
    }
  }
  const double catSeconds = SecondsSince(catStart);

  pellmarsh::bench::PrintedMessages messages;
  pellmarsh::bench::Silence silence;
  pellmarsh::SystemClock clock;
  pellmarsh::App app(dir, messages, silence, clock);
  app.LoadTree();
  app.CompleteBuiltInTree();
  {
    pellmarsh::TreeLockGuard lock(app.tree().lock());
    app.tree().root().SetPropInt(setting::kMaxCons, 4);
    pellmarsh::Item& list = *app.tree().root().FindByName("_filelist");
    for (int index = 0; index < kFiles; ++index) {
      pellmarsh::Item& item = list.AddChild(std::make_unique<pellmarsh::Item>());
      item.SetProp(key::kValue, "file://" + dir + "/source" + std::to_string(index));
      item.SetProp(key::kLocal, dir + "/copy" + std::to_string(index));
      item.SetPropInt(key::kStatus, pellmarsh::kStatusQueued);
    }
  }
  app.state().budget = 2'000'000'000;
  const auto copyStart = SteadyClock::now();
  app.StartWorkers();
  while (!AllComplete(app)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const double copySeconds = SecondsSince(copyStart);

  const double cpuBefore = pellmarsh::bench::ProcessRunSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const double idleCpu = pellmarsh::bench::ProcessRunSeconds() - cpuBefore;

  // A large finished list, with a few items waiting long to retry so the
  // countdown still has work every second.
  constexpr int kFinished = 100000;
  {
    pellmarsh::TreeLockGuard lock(app.tree().lock());
    pellmarsh::bench::AddSampleUrlItems(app.tree().root(), kFinished, pellmarsh::kStatusComplete);
    pellmarsh::Item& list = *app.tree().root().FindByName("_filelist");
    for (int index = 0; index < 10; ++index) {
      pellmarsh::Item& item = *list.ChildAt(index * 1000);
      item.SetPropInt(key::kRetryTimeout, 1000000);
      item.SetPropInt(key::kStatus, pellmarsh::kStatusWaitingToRetry);
    }
  }
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const double largeCpuBefore = pellmarsh::bench::ProcessRunSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const double largeIdleCpu = pellmarsh::bench::ProcessRunSeconds() - largeCpuBefore;
  const long largeResident = ResidentKilobytes();
  app.StopWorkers([&] { clock.SleepMs(20); });
  std::filesystem::remove_all(dir);

  std::printf("%d copies of 100 MiB, four at a time, in %s\n", kFiles, dir.c_str());
  std::printf("cat, one after another: %6.2f s\n", catSeconds);
  std::printf("scheduler thread:       %6.2f s\n", copySeconds);
  std::printf("cat / scheduler time:   %.2f\n", catSeconds / copySeconds);
  std::printf("idle CPU over 10 s:     %.3f s (%.2f%% of one core)\n", idleCpu, idleCpu * 10);
  std::printf("with %d finished items and 10 waiting to retry:\n", kFinished);
  std::printf("idle CPU over 10 s:     %.3f s (%.2f%% of one core, goal under 0.1%%)\n",
              largeIdleCpu, largeIdleCpu * 10);
  std::printf("resident memory:        %.1f MB\n", largeResident / 1024.0);
  return 0;
}
