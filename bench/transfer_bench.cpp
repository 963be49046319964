// Downloads from local nginx and pyftpdlib through the real scheduler thread,
// against curl and wget fetching the same URLs in the same run.
//
//   transfer_bench http | https | ftp | proxy | parallel | small | rate | segments
//
// Every program writes over an existing file of the same size (fresh tmpfs pages
// are slow and erratic here), runs alternate, and a figure is the median of the
// runs with its range.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/speed_control.h"
#include "platform/clock.h"
#include "quiet_platform.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/ftp_server.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "support/tinyproxy_server.h"
#include "url/host_defaults.h"
#include "url/url_parser.h"

extern char** environ;

namespace {

using key = pellmarsh::key;
using setting = pellmarsh::setting;

using SteadyClock = std::chrono::steady_clock;
using pellmarsh::Item;

constexpr const char* kTargetDir = "/dev/shm";
// Kilobytes per minute beyond anything loopback can carry.
constexpr double kNoLimit = 1e12;

struct Run {
  double seconds = 0;
  double cpuSeconds = 0;
};

struct Summary {
  double median = 0;
  double low = 0;
  double high = 0;
};

Summary Summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values.front(), values.back()};
}

double SecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

double CpuSeconds(const rusage& usage) {
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return CpuSeconds(usage);
}

void WriteFile(const std::string& path, int64_t size) {
  std::vector<char> block(1 << 20);
  for (size_t index = 0; index < block.size(); ++index) {
    block[index] = static_cast<char>((index * 7919) & 0xFF);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int64_t left = size; left > 0; left -= static_cast<int64_t>(block.size())) {
    out.write(block.data(), static_cast<std::streamsize>(std::min<int64_t>(left, block.size())));
  }
}

// Runs a peer program to its end, with its own wall and CPU time.
Run RunPeer(const std::vector<std::string>& argv, int allowedExit = 0) {
  std::vector<char*> pointers;
  for (const std::string& word : argv) {
    pointers.push_back(const_cast<char*>(word.c_str()));
  }
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = SteadyClock::now();
  pid_t pid = -1;
  if (posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ) != 0) {
    std::perror(pointers[0]);
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != allowedExit)) {
    std::fprintf(stderr, "%s failed\n", argv[0].c_str());
    std::exit(1);
  }
  return {SecondsSince(start), CpuSeconds(usage)};
}

// The program's core with its scheduler thread running, as the window runs it.
class Engine {
 public:
  explicit Engine(const std::string& dir) : app_(dir, messages_, silence_, clock_) {
    app_.LoadTree();
    app_.CompleteBuiltInTree();
    pellmarsh::TreeLockGuard lock(app_.tree().lock());
    app_.tree().root().SetPropInt(setting::kMaxCons, 8);
    app_.tree().root().SetPropInt(setting::kRetryShort, 1);
  }
  ~Engine() {
    app_.StopWorkers([this] { clock_.SleepMs(20); });
  }

  void Start(double kilobytesPerMinute) {
    pellmarsh::TreeLockGuard lock(app_.tree().lock());
    app_.tree().root().SetPropDouble(setting::kLowSpeed, kilobytesPerMinute);
    app_.speed().UpdateSpeed({});
    if (!app_.workersRunning()) {
      app_.StartWorkers();
    }
  }

  // Queues downloads and waits until every one is complete; the time runs from
  // the first transfer's start (or from queueing, when asked) to the last end.
  Run Download(const std::vector<std::pair<std::string, std::string>>& urlsAndTargets,
               bool countFromQueueing) {
    std::vector<Item*> items;
    {
      pellmarsh::TreeLockGuard lock(app_.tree().lock());
      Item& list = *app_.tree().root().FindByName("_filelist");
      for (const auto& [url, target] : urlsAndTargets) {
        Item& item = list.AddChild(std::make_unique<Item>());
        item.SetProp(key::kType, "_url");
        item.SetProp(key::kValue, url);
        item.SetProp(key::kLocal, target);
        // What adding the URL takes from its user part.
        std::string text = url;
        const std::unique_ptr<pellmarsh::UrlParts> parts = pellmarsh::ParseUrl(text);
        item.SetProp(key::kLogin, parts->GetProp(key::kUserId));
        item.SetProp(key::kPassword, parts->GetProp(key::kPassword));
        item.SetPropInt(key::kStatus, pellmarsh::kStatusQueued);
        items.push_back(&item);
      }
    }
    app_.state().startWalkDue.Raise();  // as a command that queues items does
    const double cpuBefore = ProcessCpuSeconds();
    auto start = SteadyClock::now();
    const auto deadline = start + std::chrono::minutes(5);
    bool started = countFromQueueing;
    for (;;) {
      // What the window's one-second timer does, running on from download to
      // download: the first parts of a download wait for the save that holds
      // their map.
      if (SteadyClock::now() - lastSave_ >= std::chrono::seconds(1)) {
        app_.SaveIfRequested();
        lastSave_ = SteadyClock::now();
      }
      int complete = 0;
      {
        pellmarsh::TreeLockGuard lock(app_.tree().lock());
        for (Item* item : items) {
          const int status = item->GetPropInt(key::kStatus);
          complete += status == 2;
          if (status == 3) {
            std::fprintf(stderr, "failed: %s\n", item->GetProp(key::kError).c_str());
            std::exit(1);
          }
          if (!started && status != 1) {
            started = true;
            start = SteadyClock::now();
          }
        }
      }
      if (complete == static_cast<int>(items.size())) {
        break;
      }
      if (SteadyClock::now() > deadline) {
        pellmarsh::TreeLockGuard lock(app_.tree().lock());
        std::fprintf(stderr, "no end in time; log of the first item:\n%s\n",
                     items.front()->GetProp(key::kLog).c_str());
        std::exit(1);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    if (std::getenv("PELLMARSH_BENCH_LOG")) {
      pellmarsh::TreeLockGuard lock(app_.tree().lock());
      std::fprintf(stderr, "%s\n", items.front()->GetProp(key::kLog).c_str());
    }
    return {SecondsSince(start), ProcessCpuSeconds() - cpuBefore};
  }

  pellmarsh::App& app() { return app_; }

 private:
  pellmarsh::bench::PrintedMessages messages_;
  pellmarsh::bench::Silence silence_;
  pellmarsh::SystemClock clock_;
  pellmarsh::App app_;
  SteadyClock::time_point lastSave_ = SteadyClock::now();
};

template <typename Server>
bool Started(Server& server) {
  const ::testing::AssertionResult started = server.Start();
  if (!started) {
    std::fprintf(stderr, "%s\n", started.message());
  }
  return static_cast<bool>(started);
}

void PrintLine(const char* who, const Summary& seconds, const Summary& cpu, double megabytes) {
  std::printf("%-10s %7.3f s [%.3f-%.3f]  %7.0f MB/s  CPU %.2f s (%.2f s/GiB)\n", who,
              seconds.median, seconds.low, seconds.high, megabytes / seconds.median, cpu.median,
              cpu.median / (megabytes / 1073.741824));
}

// One big file by each program in turn, five rounds; through the proxy
// ("host:port") when one is given.
void CompareOneFile(const std::string& url, const std::vector<std::string>& curlExtra,
                    bool withWget, int64_t size, const std::string& proxy = "") {
  pellmarsh::testing::TempDir work;
  Engine engine(work.path());
  if (!proxy.empty()) {
    pellmarsh::Tree::Access tree(engine.app().tree());
    tree->SetPropEnum(setting::kProxyMode, pellmarsh::ProxyMode::kGiven);
    tree->SetProp(setting::kProxy, proxy);
  }
  engine.Start(kNoLimit);
  const std::string ours = std::string(kTargetDir) + "/bench-ours";
  const std::string curl = std::string(kTargetDir) + "/bench-curl";
  const std::string wget = std::string(kTargetDir) + "/bench-wget";
  for (const std::string& target : {ours, curl, wget}) {
    WriteFile(target, size);
  }
  std::vector<double> oursTime, oursCpu, curlTime, curlCpu, wgetTime, wgetCpu;
  for (int round = 0; round < 5; ++round) {
    const Run a = engine.Download({{url, ours}}, false);
    oursTime.push_back(a.seconds);
    oursCpu.push_back(a.cpuSeconds);
    std::vector<std::string> curlArgv = {"curl", "-s", "-o", curl};
    curlArgv.insert(curlArgv.end(), curlExtra.begin(), curlExtra.end());
    curlArgv.push_back(url);
    const Run b = RunPeer(curlArgv);
    curlTime.push_back(b.seconds);
    curlCpu.push_back(b.cpuSeconds);
    if (withWget) {
      const Run c = RunPeer({"wget", "-q", "-O", wget, url});
      wgetTime.push_back(c.seconds);
      wgetCpu.push_back(c.cpuSeconds);
    }
  }
  const double megabytes = size / 1e6;
  const Summary ourSeconds = Summarise(oursTime);
  const Summary curlSeconds = Summarise(curlTime);
  PrintLine("pellmarsh", ourSeconds, Summarise(oursCpu), megabytes);
  PrintLine("curl", curlSeconds, Summarise(curlCpu), megabytes);
  if (withWget) {
    PrintLine("wget", Summarise(wgetTime), Summarise(wgetCpu), megabytes);
  }
  std::printf("throughput ratio to curl: %.2f; CPU per byte ratio to curl: %.2f\n",
              curlSeconds.median / ourSeconds.median,
              Summarise(oursCpu).median / Summarise(curlCpu).median);
  if (withWget) {
    std::printf("throughput ratio to wget: %.2f\n", Summarise(wgetTime).median / ourSeconds.median);
  }
  for (const std::string& target : {ours, curl, wget}) {
    std::filesystem::remove(target);
  }
}

int HttpOneFile() {
  pellmarsh::testing::NginxServer::Options options;
  options.extraConfig = "sendfile on;";
  pellmarsh::testing::NginxServer nginx(options);
  if (!Started(nginx)) {
    return 1;
  }
  const int64_t size = int64_t{1} << 30;
  WriteFile(nginx.root() + "/big.bin", size);
  std::printf("1 GiB over HTTP from nginx on 127.0.0.1 into %s, 5 rounds\n", kTargetDir);
  CompareOneFile(nginx.Url("/big.bin"), {}, true, size);
  return 0;
}

int HttpsOneFile() {
  pellmarsh::testing::TestCertificates certificates;
  if (const ::testing::AssertionResult made = certificates.Make(); !made) {
    std::fprintf(stderr, "%s\n", made.message());
    return 1;
  }
  ::setenv("SSL_CERT_FILE", certificates.caFile().c_str(), 1);
  pellmarsh::testing::NginxServer::Options options;
  options.tlsCertificate = certificates.valid().certificate;
  options.tlsKey = certificates.valid().key;
  pellmarsh::testing::NginxServer nginx(options);
  if (!Started(nginx)) {
    return 1;
  }
  const int64_t size = int64_t{1} << 30;
  WriteFile(nginx.root() + "/big.bin", size);
  std::printf("1 GiB over HTTPS from nginx on 127.0.0.1 into %s, 5 rounds\n", kTargetDir);
  CompareOneFile(nginx.TlsUrl("/big.bin"), {"--cacert", certificates.caFile()}, false, size);
  return 0;
}

int FtpOneFile() {
  pellmarsh::testing::FtpServer ftp;
  if (!Started(ftp)) {
    return 1;
  }
  const int64_t size = std::getenv("PELLMARSH_BENCH_MB")
                           ? std::atoll(std::getenv("PELLMARSH_BENCH_MB")) << 20
                           : int64_t{1} << 30;
  WriteFile(ftp.root() + "/big.bin", size);
  const std::string url = "ftp://" + ftp.user() + ":" + ftp.password() +
                          "@127.0.0.1:" + std::to_string(ftp.port()) + "/big.bin";
  std::printf("%.0f MiB over active FTP from pyftpdlib on 127.0.0.1 into %s, 5 rounds\n",
              size / 1048576.0, kTargetDir);
  CompareOneFile(url, {"-P", "127.0.0.1"}, false, size);
  return 0;
}

int HttpThroughProxy() {
  pellmarsh::testing::NginxServer::Options options;
  options.extraConfig = "sendfile on;";
  pellmarsh::testing::NginxServer nginx(options);
  pellmarsh::testing::TinyproxyServer proxy;
  if (!Started(nginx) || !Started(proxy)) {
    return 1;
  }
  const int64_t size = int64_t{1} << 30;
  WriteFile(nginx.root() + "/big.bin", size);
  std::printf("1 GiB over HTTP from nginx through tinyproxy on 127.0.0.1 into %s, 5 rounds\n",
              kTargetDir);
  CompareOneFile(nginx.Url("/big.bin"), {"-x", proxy.Address()}, false, size, proxy.Address());
  return 0;
}

int ParallelFiles() {
  pellmarsh::testing::NginxServer::Options options;
  options.extraConfig = "sendfile on;";
  pellmarsh::testing::NginxServer nginx(options);
  if (!Started(nginx)) {
    return 1;
  }
  constexpr int kFiles = 8;
  const int64_t size = int64_t{128} << 20;
  std::vector<std::pair<std::string, std::string>> ours;
  std::vector<std::string> curlTargets;
  for (int index = 0; index < kFiles; ++index) {
    const std::string name = "/part" + std::to_string(index);
    WriteFile(nginx.root() + name, size);
    ours.emplace_back(nginx.Url(name), std::string(kTargetDir) + "/bench-ours" + name.substr(1));
    curlTargets.push_back(std::string(kTargetDir) + "/bench-curl" + name.substr(1));
    WriteFile(ours.back().second, size);
    WriteFile(curlTargets.back(), size);
  }
  pellmarsh::testing::TempDir work;
  Engine engine(work.path());
  {
    // As the eight curls: one connection a file, all eight to the one server.
    pellmarsh::Tree::Access tree(engine.app().tree());
    tree->SetPropInt(setting::kConnectionsPerDownload, 1);
    tree->SetPropInt(setting::kConnectionsPerServer, kFiles);
  }
  engine.Start(kNoLimit);
  std::vector<double> oursTime, curlTime;
  for (int round = 0; round < 5; ++round) {
    oursTime.push_back(engine.Download(ours, false).seconds);
    // Eight curls at once.
    const auto start = SteadyClock::now();
    std::vector<std::thread> curls;
    for (int index = 0; index < kFiles; ++index) {
      curls.emplace_back([&, index] {
        RunPeer({"curl", "-s", "-o", curlTargets[index], ours[index].first});
      });
    }
    for (std::thread& curl : curls) {
      curl.join();
    }
    curlTime.push_back(SecondsSince(start));
  }
  const double megabytes = kFiles * size / 1e6;
  const Summary a = Summarise(oursTime);
  const Summary b = Summarise(curlTime);
  std::printf("8 files of 128 MiB at once over HTTP, 5 rounds\n");
  std::printf("pellmarsh  %7.3f s [%.3f-%.3f]  %7.0f MB/s\n", a.median, a.low, a.high,
              megabytes / a.median);
  std::printf("8 curls    %7.3f s [%.3f-%.3f]  %7.0f MB/s\n", b.median, b.low, b.high,
              megabytes / b.median);
  std::printf("aggregate throughput ratio to curl: %.2f\n", b.median / a.median);
  for (const auto& [url, target] : ours) {
    std::filesystem::remove(target);
  }
  for (const std::string& target : curlTargets) {
    std::filesystem::remove(target);
  }
  return 0;
}

int SmallFiles() {
  pellmarsh::testing::NginxServer nginx;
  if (!Started(nginx)) {
    return 1;
  }
  constexpr int kFiles = 200;
  constexpr int kRounds = 5;
  pellmarsh::testing::TempDir targets;
  std::vector<std::string> urls;
  std::string urlList;
  for (int index = 0; index < kFiles; ++index) {
    const std::string name = "/small" + std::to_string(index);
    WriteFile(nginx.root() + name, 100 * 1024);
    urls.push_back(nginx.Url(name));
    urlList += urls.back() + "\n";
  }
  const std::string list = targets.File("urls.txt");
  std::ofstream(list) << urlList;
  std::printf("200 files of 100 KiB over HTTP from queueing to the last end, median of %d runs\n",
              kRounds);
  std::vector<double> wget;
  for (int round = 0; round < kRounds; ++round) {
    const std::string into = targets.File("wget" + std::to_string(round));
    wget.push_back(RunPeer({"wget", "-q", "-P", into, "-i", list}).seconds);
  }
  const double wgetSeconds = Summarise(wget).median;
  std::printf("wget -i              %7.3f s\n", wgetSeconds);
  for (const int connections : {2, 8}) {
    pellmarsh::testing::TempDir work;
    Engine engine(work.path());
    {
      pellmarsh::Tree::Access tree(engine.app().tree());
      tree->SetPropInt(setting::kMaxCons, connections);
    }
    engine.Start(kNoLimit);
    std::vector<double> ours, aria;
    for (int round = 0; round < kRounds; ++round) {
      const std::string tag = std::to_string(connections) + "-" + std::to_string(round);
      std::vector<std::pair<std::string, std::string>> downloads;
      for (int index = 0; index < kFiles; ++index) {
        downloads.emplace_back(urls[index],
                               targets.File("ours" + tag + "-" + std::to_string(index)));
      }
      ours.push_back(engine.Download(downloads, true).seconds);
      aria.push_back(RunPeer({"aria2c", "-q", "-j", std::to_string(connections), "-d",
                              targets.File("aria" + tag), "-i", list})
                         .seconds);
    }
    const double oursSeconds = Summarise(ours).median;
    const double ariaSeconds = Summarise(aria).median;
    std::printf("pellmarsh maxcons %d %7.3f s  = %.2f x wget -i, %.2f x aria2c -j %d (%.3f s)\n",
                connections, oursSeconds, oursSeconds / wgetSeconds, oursSeconds / ariaSeconds,
                connections, ariaSeconds);
    std::printf("  per file: %.2f ms\n", oursSeconds * 1000 / kFiles);
  }
  return 0;
}

int RateLimit() {
  pellmarsh::testing::NginxServer nginx;
  if (!Started(nginx)) {
    return 1;
  }
  WriteFile(nginx.root() + "/stream.bin", int64_t{64} << 20);
  std::printf("background limit held for 60 s, against curl --limit-rate at the same rate\n");
  for (const double limit : {100.0, 600.0}) {
    pellmarsh::testing::TempDir work;
    Engine engine(work.path());
    engine.Start(limit);
    const int budget = pellmarsh::BudgetForLimit(limit);
    {
      pellmarsh::TreeLockGuard lock(engine.app().tree().lock());
      Item& item =
          engine.app().tree().root().FindByName("_filelist")->AddChild(std::make_unique<Item>());
      item.SetProp(key::kValue, nginx.Url("/stream.bin"));
      item.SetProp(key::kLocal, work.File("stream"));
      item.SetPropInt(key::kStatus, pellmarsh::kStatusQueued);
    }
    // Wait for the start, then sample the file's size once a second.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::vector<double> perSecond;
    auto previous = std::filesystem::exists(work.File("stream"))
                        ? std::filesystem::file_size(work.File("stream"))
                        : 0;
    const auto first = previous;
    for (int second = 0; second < 60; ++second) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      const auto now = std::filesystem::file_size(work.File("stream"));
      perSecond.push_back(static_cast<double>(now - previous));
      previous = now;
    }
    const double average = static_cast<double>(previous - first) / 60;
    const Summary spread = Summarise(perSecond);
    std::printf(
        "limit %4.0f KPM = %5d B/s: pellmarsh %7.0f B/s (%.1f%%), per second median %.0f "
        "[%.0f-%.0f]\n",
        limit, budget, average, 100 * average / budget, spread.median, spread.low, spread.high);
    // curl for 60 s at the same byte rate; it ends on its time limit (exit 28).
    const std::string target = work.File("curl");
    constexpr int kCurlTimedOut = 28;
    RunPeer({"curl", "-s", "--max-time", "60", "--limit-rate", std::to_string(budget), "-o", target,
             nginx.Url("/stream.bin")},
            kCurlTimedOut);
    const double curlAverage = static_cast<double>(std::filesystem::file_size(target)) / 60;
    std::printf("                           curl      %7.0f B/s (%.1f%%)\n", curlAverage,
                100 * curlAverage / budget);
  }
  return 0;
}

// Seconds for one download by the engine over at most `connections`, into a
// new file as most downloads are: one connection would otherwise write over
// the last run's blocks while the parts' file starts empty.
double OursOver(Engine& engine, int connections, const std::string& url,
                const std::string& target) {
  std::filesystem::remove(target);
  {
    pellmarsh::Tree::Access tree(engine.app().tree());
    tree->SetPropInt(setting::kConnectionsPerDownload, connections);
    // A host that turned a second connection away once is not asked again.
    pellmarsh::HostDefaults(tree.root())
        .FindOrCreateChild("127.0.0.1")
        .SetPropInt(key::kOneConnection, 0);
  }
  return engine.Download({{url, target}}, false).seconds;
}

// Seconds for aria2 over `connections` into a new file in the same place as ours.
double Aria2Over(int connections, const std::string& url) {
  const std::string name = "bench-aria2";
  const std::string count = std::to_string(connections);
  const Run run = RunPeer({"aria2c", "-q", "-x" + count, "-s" + count, "-k1M",
                           "--allow-overwrite=true", "--auto-file-renaming=false",
                           "--file-allocation=none", "-d", kTargetDir, "-o", name, url});
  std::filesystem::remove(std::string(kTargetDir) + "/" + name);
  return run.seconds;
}

// A server that caps each connection (nginx's limit_rate 2m) serving 256 MiB:
// four connections against one and against aria2 with four; then the
// uncapped 1 GiB file, by us and by aria2, each with four connections and one.
int Segments() {
  pellmarsh::testing::NginxServer::Options options;
  options.extraConfig = "    location /capped/ {\n      limit_rate 2m;\n    }\n";
  pellmarsh::testing::NginxServer nginx(options);
  if (!Started(nginx)) {
    return 1;
  }
  constexpr int64_t kCapped = int64_t{256} << 20;
  constexpr int64_t kWhole = int64_t{1} << 30;
  std::filesystem::create_directories(nginx.root() + "/capped");
  WriteFile(nginx.root() + "/capped/big.bin", kCapped);
  WriteFile(nginx.root() + "/big.bin", kWhole);
  pellmarsh::testing::TempDir work;
  Engine engine(work.path());
  engine.Start(kNoLimit);
  const std::string ours = std::string(kTargetDir) + "/bench-ours";

  const std::string capped = nginx.Url("/capped/big.bin");
  const double four = OursOver(engine, 4, capped, ours);
  const double one = OursOver(engine, 1, capped, ours);
  const double aria2 = Aria2Over(4, capped);
  const double mb = static_cast<double>(kCapped) / 1e6;
  std::printf("capped 2 MB/s a connection, 256 MiB:\n");
  std::printf("  pellmarsh x4 %7.2f s  %6.1f MB/s\n", four, mb / four);
  std::printf("  pellmarsh x1 %7.2f s  %6.1f MB/s\n", one, mb / one);
  std::printf("  aria2c -x4   %7.2f s  %6.1f MB/s\n", aria2, mb / aria2);
  std::printf("  x4 / x1 %.2fx, x4 / aria2 %.2fx\n", one / four, aria2 / four);

  // Every run here is bound by the kernel's copies on two cores and varies by
  // a fifth from run to run; aria2 with four against one shows what the
  // machine itself makes of four streams.
  std::vector<double> parts, single, ariaParts, ariaSingle;
  const std::string whole = nginx.Url("/big.bin");
  for (int round = 0; round < 7; ++round) {
    parts.push_back(OursOver(engine, 4, whole, ours));
    single.push_back(OursOver(engine, 1, whole, ours));
    ariaParts.push_back(Aria2Over(4, whole));
    ariaSingle.push_back(Aria2Over(1, whole));
  }
  std::printf("uncapped 1 GiB, median of 7:\n");
  const Summary p = Summarise(parts);
  const Summary s = Summarise(single);
  const Summary ap = Summarise(ariaParts);
  const Summary as = Summarise(ariaSingle);
  std::printf("  pellmarsh x4 %7.3f s [%.3f-%.3f]\n", p.median, p.low, p.high);
  std::printf("  pellmarsh x1 %7.3f s [%.3f-%.3f]\n", s.median, s.low, s.high);
  std::printf("  aria2c -x4   %7.3f s [%.3f-%.3f]\n", ap.median, ap.low, ap.high);
  std::printf("  aria2c -x1   %7.3f s [%.3f-%.3f]\n", as.median, as.low, as.high);
  std::printf("  x4 / x1 %.2fx (aria2's own %.2fx), x4 / aria2 -x4 %.2fx\n", s.median / p.median,
              as.median / ap.median, ap.median / p.median);
  std::filesystem::remove(ours);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::string what = argc > 1 ? argv[1] : "http";
  if (what == "http") {
    return HttpOneFile();
  }
  if (what == "https") {
    return HttpsOneFile();
  }
  if (what == "ftp") {
    return FtpOneFile();
  }
  if (what == "proxy") {
    return HttpThroughProxy();
  }
  if (what == "parallel") {
    return ParallelFiles();
  }
  if (what == "small") {
    return SmallFiles();
  }
  if (what == "rate") {
    return RateLimit();
  }
  if (what == "segments") {
    return Segments();
  }
  std::fprintf(stderr, "usage: transfer_bench http|https|ftp|proxy|parallel|small|rate|segments\n");
  return 2;
}
