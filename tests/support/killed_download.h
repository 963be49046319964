#pragma once

#include <cstdint>
#include <string>

namespace pellmarsh::testing {

// The real program fetching one large file over four connections from an
// nginx that caps each connection, killed with SIGKILL at random moments while
// its parts write and started again each time, then left to finish.
struct KilledDownloadPlan {
  std::string program;
  int64_t size = 0;
  int kills = 0;
  unsigned seed = 0;
  std::string rateLimit = "4m";  // nginx's limit_rate for each connection
  int longestRunMs = 400;        // a run is killed within this of its first write
};

struct KilledDownload {
  int kills = 0;  // that landed while parts were writing
  bool identical = false;
  // The response bodies nginx sent over every run: the first answer, which
  // goes on as the first part, and the other parts.
  int64_t sentBytes = 0;
  std::string problem;  // empty when the download ended at all
};

KilledDownload RunKilledDownload(const KilledDownloadPlan& plan);

}  // namespace pellmarsh::testing
