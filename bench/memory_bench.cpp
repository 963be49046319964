// Resident memory of the running program with a data file of 10,000 URL items,
// or with --large of 10,000 pending and 90,000 finished ones, and its idle CPU.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "run_time.h"
#include "sample_tree.h"
#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/child_process.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"

namespace {

using key = pellmarsh::key;
using setting = pellmarsh::setting;

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

struct Measured {
  long settled = 0;  // kilobytes
  long peak = 0;
  double idleCpu = 0;  // percent of a core over ten seconds
};

// Starts the program on the data file in `dir` and measures it once settled.
Measured MeasureProgram(const pellmarsh::testing::TempDir& dir) {
  pellmarsh::testing::ChildProcess program;
  if (!program.Start({dir.File("pellmarsh")}, dir.File("output.txt"))) {
    std::fprintf(stderr, "could not start: %s\n", program.error().c_str());
    std::exit(1);
  }
  // Long enough for the once-a-second walks to have started every download.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  Measured measured;
  measured.settled = SettledKilobytes(program.pid());
  const double cpuBefore = pellmarsh::bench::ProcessRunSeconds(program.pid());
  std::this_thread::sleep_for(std::chrono::seconds(10));
  measured.idleCpu = (pellmarsh::bench::ProcessRunSeconds(program.pid()) - cpuBefore) * 10;
  measured.peak = StatusKilobytes(program.pid(), "VmHWM");
  program.Stop();
  return measured;
}

void WriteDataFile(const pellmarsh::testing::TempDir& dir, const pellmarsh::Item& root) {
  std::ofstream(dir.File("pmarsh.dat"), std::ios::binary | std::ios::trunc)
      << pellmarsh::SaveTree(root);
}

// The queue of a long-used program, Offline so that nothing starts.
int MeasureLarge(const pellmarsh::testing::TempDir& dir) {
  pellmarsh::bench::WriteSampleDataFile(dir.File("pmarsh.dat"), 10000, 90000);
  const auto fileBytes = std::filesystem::file_size(dir.File("pmarsh.dat"));
  const Measured idle = MeasureProgram(dir);
  std::printf("data file: %.1f MB, 10000 pending and 90000 finished URL items\n",
              static_cast<double>(fileBytes) / 1e6);
  std::printf("idle resident memory:            %6.1f MB (goal under 150 MB), peak %.1f MB\n",
              idle.settled / 1024.0, idle.peak / 1024.0);
  std::printf("idle CPU over 10 s:              %6.2f %% of a core (goal under 0.1 %%)\n",
              idle.idleCpu);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  pellmarsh::testing::TempDir dir;
  std::filesystem::copy_file(PELLMARSH_PROGRAM, dir.File("pellmarsh"));
  if (argc > 1 && std::string(argv[1]) == "--large") {
    return MeasureLarge(dir);
  }
  pellmarsh::Item root;
  pellmarsh::MarkFirstStart(root, 1765000000);
  pellmarsh::bench::AddSampleUrlItems(root, 10000, 2);
  WriteDataFile(dir, root);
  const Measured idle = MeasureProgram(dir);

  // Eight downloads kept running by a low background limit.
  pellmarsh::testing::NginxServer nginx;
  if (!nginx.Start()) {
    return 1;
  }
  nginx.AddFile("/stream.bin", std::string(64 << 20, 's'));
  root.SetPropDouble(setting::kLowSpeed, 6000);
  root.SetPropInt(setting::kMaxCons, 8);
  pellmarsh::Item& list = *root.FindByName("_filelist");
  for (int index = 0; index < 8; ++index) {
    pellmarsh::Item& item = list.AddChild(std::make_unique<pellmarsh::Item>());
    item.SetProp(key::kType, "_url");
    item.SetProp(key::kValue, nginx.Url("/stream.bin"));
    item.SetProp(key::kLocal, dir.File("download" + std::to_string(index)));
    item.SetPropInt(key::kStatus, pellmarsh::kStatusQueued);
  }
  WriteDataFile(dir, root);
  const Measured busy = MeasureProgram(dir);

  std::printf("data file: %.1f MB, 10000 URL items\n", pellmarsh::SaveTree(root).size() / 1e6);
  std::printf("idle resident memory:            %6.1f MB (goal under 120 MB), peak %.1f MB\n",
              idle.settled / 1024.0, idle.peak / 1024.0);
  std::printf("with eight downloads running:    %6.1f MB, peak %.1f MB\n", busy.settled / 1024.0,
              busy.peak / 1024.0);
  // A running queue saves, and the save keeps one buffer of the file's size for
  // the next save; what is left over is the downloads' own.
  const double saveBufferKb = pellmarsh::SaveTree(root).size() / 1024.0;
  std::printf("of which the kept save buffer:   %6.1f MB\n", saveBufferKb / 1024);
  std::printf("per running download:            %6.1f KB (goal well under 1 MB)\n",
              std::max(0.0, (busy.settled - idle.settled - saveBufferKb) / 8.0));
  return 0;
}
