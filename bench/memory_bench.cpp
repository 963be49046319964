// Resident memory of the running program with a data file of 10,000 URL items.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "sample_tree.h"
#include "store/builtin_tree.h"
#include "store/tree_codec.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

// A field of /proc/<pid>/status in kilobytes ("VmRSS", "VmHWM").
long StatusKilobytes(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    }
  }
  return -1;
}

// Waits until the resident size has stayed within 1% for a second.
long SettledKilobytes(pid_t pid) {
  long settled = -1;
  auto stableSince = std::chrono::steady_clock::now();
  const auto deadline = stableSince + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    const long now = StatusKilobytes(pid, "VmRSS");
    if (settled < 0 || std::labs(now - settled) > settled / 100) {
      settled = now;
      stableSince = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - stableSince > std::chrono::seconds(1)) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return settled;
}

}  // namespace

int main() {
  pellmarsh::testing::TempDir dir;
  std::filesystem::copy_file(PELLMARSH_PROGRAM, dir.File("pellmarsh"));
  pellmarsh::Item root;
  pellmarsh::MarkFirstStart(root, 1765000000);
  pellmarsh::bench::AddSampleUrlItems(root, 10000, 2);
  const std::string bytes = pellmarsh::SaveTree(root);
  std::ofstream(dir.File("pmarsh.dat"), std::ios::binary) << bytes;

  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  pellmarsh::testing::ChildProcess program;
  if (!program.Start({dir.File("pellmarsh")}, dir.File("output.txt"))) {
    std::fprintf(stderr, "could not start: %s\n", program.error().c_str());
    return 1;
  }
  const long idle = SettledKilobytes(program.pid());
  const long peak = StatusKilobytes(program.pid(), "VmHWM");
  program.Stop();

  std::printf("data file: %.1f MB, 10000 URL items\n", bytes.size() / 1e6);
  std::printf("idle resident memory: %.1f MB (goal under 120 MB)\n", idle / 1024.0);
  std::printf("peak resident memory: %.1f MB (loading included)\n", peak / 1024.0);
  return 0;
}
