// URL extraction of a 10 MB page with 50,000 links into a clip list of 1,000
// items, against grep -o 'href="[^"]*"' on the same file.
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/url_extraction.h"
#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"

extern char** environ;

namespace {

using Seconds = std::chrono::duration<double>;
using key = pellmarsh::key;

constexpr int kLinks = 50000;
constexpr int kClipped = 1000;
constexpr size_t kPageBytes = 10 * 1000 * 1000;
constexpr int kRounds = 5;

// Links of every kind a page holds, padded with text to 10 MB.
std::string MakePage() {
  std::string page = "<html><body>\n";
  const size_t perLink = kPageBytes / kLinks;
  for (int i = 0; i < kLinks; ++i) {
    const size_t start = page.size();
    switch (i % 4) {
      case 0:
        page += "<a href=\"files/f" + std::to_string(i) + ".zip\">file</a>";
        break;
      case 1:
        page += "<img src='/img/i" + std::to_string(i) + ".gif'>";
        break;
      case 2:
        page += "<A HREF=\"../up/u" + std::to_string(i) + ".html\">up</A>";
        break;
      default:
        page += "see http://mirror.example.org/pub/m" + std::to_string(i) + ".tar.gz for it";
    }
    page += " some words of text between links <b>and markup</b>";
    while (page.size() - start < perLink - 1) {
      page += " filler";
    }
    page += '\n';
  }
  return page + "</body></html>\n";
}

long StatusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) {
      return std::strtol(line.c_str() + std::string(field).size(), nullptr, 10);
    }
  }
  return -1;
}

// The peak resident size starts again from the current one.
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

struct Run {
  double seconds;
  long peakKilobytes;
};

// Its output goes to a file: GNU grep stops at the first match when it
// writes to /dev/null. /usr/bin/time reports its peak: a spawned child's own
// figure would count this process's memory until the exec.
Run RunGrep(const std::string& page, const std::string& output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const std::string peakFile = output + ".peak";
  std::vector<std::string> args = {
      "time", "-f", "%M", "-o", peakFile, "grep", "-o", "href=\"[^\"]*\"", page};
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, "/usr/bin/time", &actions, nullptr, argv.data(), environ) != 0) {
    std::perror("grep");
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  const double seconds = Seconds(std::chrono::steady_clock::now() - start).count();
  long peak = -1;
  std::ifstream(peakFile) >> peak;
  return {seconds, peak};
}

struct Extraction {
  Run run;
  double scanSeconds;
  size_t added;
};

Extraction RunOurs(const std::string& dir, const std::string& page) {
  pellmarsh::Tree tree;
  pellmarsh::LocalNameRegistry names(tree);
  {
    auto access = tree.Lock();
    pellmarsh::SetUpRootAndFolders(access.root(), dir);
    pellmarsh::SetUpDefaultsAndSettings(access.root(), dir);
    pellmarsh::Item& clip = pellmarsh::ClipFolder(access.root());
    for (int i = 0; i < kClipped; ++i) {
      auto item = std::make_unique<pellmarsh::Item>();
      item->SetProp(key::kValue, "http://clipped.example.org/c" + std::to_string(i) + ".zip");
      item->SetProp(key::kOriginalValue, item->GetProp(key::kValue));
      item->SetPropInt(key::kStatus, pellmarsh::kStatusClipped);
      clip.AddChild(std::move(item));
    }
  }
  // Memory freed by the previous round must not hide this round's peak.
  malloc_trim(0);
  const long before = StatusKilobytes("VmRSS:");
  ResetPeak();
  const auto start = std::chrono::steady_clock::now();
  // The command's path: read and scan without the lock, then add under it.
  const auto plan =
      pellmarsh::PlanExtraction({page, "http://www.example.org/site/docs/index.html", false});
  const double scanSeconds = Seconds(std::chrono::steady_clock::now() - start).count();
  size_t added = 0;
  {
    auto access = tree.Lock();
    added = pellmarsh::AddExtractedUrls(access.root(), names, plan->urls, 1765000000);
  }
  const double seconds = Seconds(std::chrono::steady_clock::now() - start).count();
  return {{seconds, StatusKilobytes("VmHWM:") - before}, scanSeconds, added};
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir =
      (argc > 1 ? std::string(argv[1]) : std::string("/dev/shm")) + "/pellmarsh-extraction-bench";
  std::filesystem::create_directories(dir);
  const std::string page = dir + "/page.html";
  size_t pageBytes;
  {
    const std::string text = MakePage();
    pageBytes = text.size();
    std::ofstream(page, std::ios::binary) << text;
  }
  std::vector<Run> greps;
  for (int round = 0; round < kRounds; ++round) {
    greps.push_back(RunGrep(page, dir + "/grep.out"));
  }
  std::vector<Run> ours;
  std::vector<double> scans;
  size_t added = 0;
  for (int round = 0; round < kRounds; ++round) {
    const Extraction extraction = RunOurs(dir, page);
    ours.push_back(extraction.run);
    scans.push_back(extraction.scanSeconds);
    added = extraction.added;
  }
  std::sort(scans.begin(), scans.end());
  auto median = [](std::vector<Run> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    return runs[runs.size() / 2];
  };
  const Run grep = median(greps);
  const Run our = median(ours);
  std::printf("page: %zu bytes, %d links, clip list of %d items, median of %d rounds\n", pageBytes,
              kLinks, kClipped, kRounds);
  std::printf("grep -o:     %7.3f s  peak %6ld KiB\n", grep.seconds, grep.peakKilobytes);
  std::printf("extraction:  %7.3f s  peak %6ld KiB above the program before it, %zu items added\n",
              our.seconds, our.peakKilobytes, added);
  std::printf("  of which read, scan and resolve: %.3f s\n", scans[scans.size() / 2]);
  std::printf("extraction / grep time: %.2f (goal <= 3)\n", our.seconds / grep.seconds);
  std::filesystem::remove_all(dir);
  return 0;
}
