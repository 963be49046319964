// URL extraction of a 50 MB page with 250,000 links, read, scanned and
// resolved, against grep -o 'href=[^ >]*' on the same file; then the memory
// of a 1 MB page of one repeated link reached through a 4 KB URL.
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

extern char** environ;

namespace {

using Seconds = std::chrono::duration<double>;

constexpr int kLinks = 250000;
constexpr size_t kPageBytes = 50 * 1000 * 1000;
constexpr size_t kRepeatedBytes = 1000 * 1000;
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
  std::vector<std::string> args = {"time", "-f", "%M",          "-o", peakFile,
                                   "grep", "-o", "href=[^ >]*", page};
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
  size_t candidates;
  size_t kept;
};

// Reading, scanning and resolving, as both the Extract command (every
// candidate counted) and the automatic run (counting up to the clip limit) do.
Extraction RunOurs(const std::string& page, const std::string& pageUrl, size_t countUpTo) {
  // Memory freed by the previous round must not hide this round's peak.
  malloc_trim(0);
  const long before = StatusKilobytes("VmRSS:");
  ResetPeak();
  const auto start = std::chrono::steady_clock::now();
  const auto plan = pellmarsh::PlanExtraction({page, pageUrl, false}, countUpTo);
  const double seconds = Seconds(std::chrono::steady_clock::now() - start).count();
  return {{seconds, StatusKilobytes("VmHWM:") - before}, plan->candidateCount, plan->urls.size()};
}

Run Median(std::vector<Run> runs) {
  std::sort(runs.begin(), runs.end(),
            [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
  return runs[runs.size() / 2];
}

Extraction MedianOurs(const std::string& page, const std::string& pageUrl, size_t countUpTo) {
  std::vector<Extraction> rounds;
  for (int round = 0; round < kRounds; ++round) {
    rounds.push_back(RunOurs(page, pageUrl, countUpTo));
  }
  std::sort(rounds.begin(), rounds.end(),
            [](const Extraction& a, const Extraction& b) { return a.run.seconds < b.run.seconds; });
  return rounds[rounds.size() / 2];
}

void Report(const char* what, const Extraction& ours, size_t pageBytes) {
  const double goalKilobytes = (4.0 * static_cast<double>(pageBytes) + 32e6) / 1024;
  std::printf("%-28s %7.3f s  peak %7ld KiB (goal < %.0f), %zu candidates, %zu URLs kept\n", what,
              ours.run.seconds, ours.run.peakKilobytes, goalKilobytes, ours.candidates, ours.kept);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir =
      (argc > 1 ? std::string(argv[1]) : std::string("/dev/shm")) + "/pellmarsh-extraction-bench";
  std::filesystem::create_directories(dir);
  const std::string page = dir + "/page.html";
  const std::string repeated = dir + "/repeated.html";
  size_t pageBytes;
  {
    const std::string text = MakePage();
    pageBytes = text.size();
    std::ofstream(page, std::ios::binary) << text;
    std::string same;
    while (same.size() < kRepeatedBytes) {
      same += "href=a ";
    }
    std::ofstream(repeated, std::ios::binary) << same;
  }
  std::vector<Run> greps;
  for (int round = 0; round < kRounds; ++round) {
    greps.push_back(RunGrep(page, dir + "/grep.out"));
  }
  const Run grep = Median(greps);
  const std::string pageUrl = "http://www.example.org/site/docs/index.html";
  const Extraction all = MedianOurs(page, pageUrl, pellmarsh::kCountEveryCandidate);
  const Extraction automatic = MedianOurs(page, pageUrl, pellmarsh::kAutomaticClipLimit);
  std::printf("page: %zu bytes, %d links, median of %d rounds\n", pageBytes, kLinks, kRounds);
  std::printf("%-28s %7.3f s  peak %7ld KiB\n", "grep -o 'href=[^ >]*'", grep.seconds,
              grep.peakKilobytes);
  Report("Extract command", all, pageBytes);
  Report("automatic run", automatic, pageBytes);
  std::printf("Extract command / grep time: %.2f (goal <= 3)\n", all.run.seconds / grep.seconds);

  const std::string longUrl = "http://www.example.org/" + std::string(4096, 'd') + "/index.html";
  std::printf("\npage: %zu bytes of \"href=a \", page URL of %zu bytes\n", kRepeatedBytes,
              longUrl.size());
  Report("Extract command", MedianOurs(repeated, longUrl, pellmarsh::kCountEveryCandidate),
         kRepeatedBytes);
  Report("automatic run", MedianOurs(repeated, longUrl, pellmarsh::kAutomaticClipLimit),
         kRepeatedBytes);
  std::filesystem::remove_all(dir);
  return 0;
}
