// Works out the sha256 and sha512 of a 1 GiB file as a whole download's check
// does (on its own thread, the waiting side woken as it goes), against
// sha256sum and sha512sum on the same file, in /dev/shm so the disk is no
// part of it.
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "checksum/checksum_run.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int64_t kSize = int64_t{1} << 30;

double SecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

void WriteSource(const std::string& path) {
  std::vector<char> block(1 << 20);
  std::mt19937 random(1);
  for (char& byte : block) {
    byte = static_cast<char>(random() & 0xFF);
  }
  std::ofstream out(path, std::ios::binary);
  for (int64_t written = 0; written < kSize; written += static_cast<int64_t>(block.size())) {
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
}

// As a transfer waits: on the run's descriptor, looking in at each wake.
double CheckAsADownloadDoes(const std::string& path, pellmarsh::DigestKind kind) {
  const auto start = SteadyClock::now();
  pellmarsh::ChecksumRun run(path, kind);
  while (!run.done()) {
    pollfd wake{run.wakeFd(), POLLIN, 0};
    ::poll(&wake, 1, 1000);
    run.Drain();
  }
  const double seconds = SecondsSince(start);
  if (run.digest().empty()) {
    std::fprintf(stderr, "check failed: %s\n", run.error().c_str());
    std::exit(1);
  }
  return seconds;
}

double Peer(const std::string& program, const std::string& path) {
  const auto start = SteadyClock::now();
  if (std::system((program + " " + path + " > /dev/null").c_str()) != 0) {
    std::fprintf(stderr, "%s failed\n", program.c_str());
    std::exit(1);
  }
  return SecondsSince(start);
}

void Report(const char* name, const char* peer, double ours, double theirs) {
  const double megabytes = static_cast<double>(kSize) / 1e6;
  std::printf("%-10s %6.3f s %6.0f MB/s   %-9s %6.3f s %6.0f MB/s   ratio %.2f\n", name, ours,
              megabytes / ours, peer, theirs, megabytes / theirs, theirs / ours);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string directory = argc > 1 ? argv[1] : "/dev/shm";
  const std::string path = directory + "/pellmarsh-checksum-bench.bin";
  WriteSource(path);
  // Once unmeasured, so every run below reads from the page cache.
  Peer("cat", path);
  Report("sha256", "sha256sum", CheckAsADownloadDoes(path, pellmarsh::DigestKind::kSha256),
         Peer("sha256sum", path));
  Report("sha512", "sha512sum", CheckAsADownloadDoes(path, pellmarsh::DigestKind::kSha512),
         Peer("sha512sum", path));
  std::filesystem::remove(path);
  return 0;
}
