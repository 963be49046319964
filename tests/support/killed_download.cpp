#include "support/killed_download.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/child_process.h"
#include "support/nginx_server.h"
#include "support/random_bytes.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "url/local_name_registry.h"

namespace pellmarsh::testing {
namespace {

using namespace std::chrono_literals;

std::string QueueOfOne(const std::string& url, const std::string& local) {
  Item root;
  MarkFirstStart(root, 1765000000);
  root.SetPropInt(setting::kGoFast, 1);
  root.SetProp(setting::kHighSpeed, "10000000.000000");
  root.SetPropInt(setting::kConnectionsPerDownload, 4);
  Item& item = root.FindOrCreateChild("_filelist").AddChild(std::make_unique<Item>());
  item.SetProp(key::kType, "_url");
  item.SetProp(key::kValue, url);
  item.SetProp(key::kLocal, local);
  item.SetPropInt(key::kStatus, kStatusQueued);
  return SaveTree(root);
}

int64_t BlocksOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_blocks : -1;
}

// The download's item as the data file last saved it.
std::unique_ptr<Item> SavedItem(const std::string& dataFile) {
  Item root;
  if (!LoadTree(root, ReadFile(dataFile)).complete) {
    return nullptr;
  }
  Item* list = root.FindByName("_filelist");
  return list && list->ChildCount() == 1 ? list->DetachChildAt(0) : nullptr;
}

int StatusIn(const std::string& dataFile) {
  const std::unique_ptr<Item> item = SavedItem(dataFile);
  return item ? item->GetPropInt(key::kStatus) : -1;
}

// Until the data file first holds the parts, a restart knows nothing of
// them, as a one-connection download saved before its first byte knows
// nothing of its file.
bool PartsSaved(const std::string& dataFile) {
  const std::unique_ptr<Item> item = SavedItem(dataFile);
  return item && !item->GetProp(key::kSegments).empty();
}

// nginx logs "sent=<body bytes> GET <path> HTTP/1.0 range=<Range>" for each request.
void CountSent(const std::string& log, KilledDownload& result) {
  std::ifstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" /capped/") == std::string::npos) {
      continue;  // nginx's readiness probe
    }
    result.sentBytes += std::stoll(line.substr(line.find('=') + 1));
  }
}

}  // namespace

KilledDownload RunKilledDownload(const KilledDownloadPlan& plan) {
  KilledDownload result;
  TempDir dir;
  NginxServer::Options options;
  options.rangeLogPath = dir.File("access.log");
  options.extraConfig =
      "    location /capped/ {\n      limit_rate " + plan.rateLimit + ";\n    }\n";
  NginxServer nginx(options);
  if (!nginx.Start()) {
    result.problem = "nginx did not start";
    return result;
  }
  const std::string content = RandomBytes(static_cast<size_t>(plan.size), plan.seed);
  nginx.AddFile("/capped/big.bin", content);
  const std::string local = dir.File("big.bin");
  const std::string unfinished = UnfinishedPathOf(local);
  std::filesystem::copy_file(plan.program, dir.File("pellmarsh"));
  WriteFile(dir.File("pmarsh.dat"), QueueOfOne(nginx.Url("/capped/big.bin"), local));
  setenv("QT_QPA_PLATFORM", "offscreen", 1);

  std::mt19937 random(plan.seed);
  for (int run = 0; result.kills < plan.kills && run < plan.kills * 3; ++run) {
    ChildProcess program;
    if (!program.Start({dir.File("pellmarsh")}, dir.File("output.txt"))) {
      result.problem = program.error();
      return result;
    }
    // The parts' writes show as blocks the unfinished file gains.
    const int64_t before = BlocksOf(unfinished);
    if (!WaitFor(
            [&] { return BlocksOf(unfinished) > before && PartsSaved(dir.File("pmarsh.dat")); },
            30s, 1ms)) {
      break;  // the download is whole, or never began to write
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(
        std::uniform_int_distribution<int>(0, plan.longestRunMs)(random)));
    program.Stop(SIGKILL);
    result.kills += StatusIn(dir.File("pmarsh.dat")) != kStatusComplete ? 1 : 0;
  }

  ChildProcess program;
  if (!program.Start({dir.File("pellmarsh")}, dir.File("output.txt"))) {
    result.problem = program.error();
    return result;
  }
  if (!WaitFor([&] { return StatusIn(dir.File("pmarsh.dat")) == kStatusComplete; }, 300s, 50ms)) {
    result.problem = "the download did not end in time";
  }
  program.Stop();
  result.identical =
      FileExistsOnDisk(local) && !FileExistsOnDisk(unfinished) && ReadFile(local) == content;
  CountSent(options.rangeLogPath, result);
  return result;
}

}  // namespace pellmarsh::testing
