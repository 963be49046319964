// A 4-connection download of 96 MiB from an nginx capped at 4 MB/s a
// connection, SIGKILLed at a random moment 20 times: whether it ends
// byte-identical and how many bytes the server sent in all.
#include <algorithm>
#include <cstdio>

#include "support/killed_download.h"

int main() {
  constexpr int64_t kSize = int64_t{96} << 20;
  constexpr int64_t kMiB = int64_t{1} << 20;
  const pellmarsh::testing::KilledDownload result = pellmarsh::testing::RunKilledDownload(
      {.program = PELLMARSH_PROGRAM, .size = kSize, .kills = 20, .seed = 2026});
  if (!result.problem.empty()) {
    std::printf("failed: %s\n", result.problem.c_str());
    return 1;
  }
  const int64_t waste = result.sentBytes - kSize;
  std::printf("kills %d, byte-identical %s\n", result.kills, result.identical ? "yes" : "NO");
  std::printf("nginx sent %lld bytes: size + %.2f MiB (goal under + 4 MiB), %.1f KiB a kill\n",
              static_cast<long long>(result.sentBytes), static_cast<double>(waste) / kMiB,
              static_cast<double>(waste) / 1024 / std::max(result.kills, 1));
  return result.identical ? 0 : 1;
}
