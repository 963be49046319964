#include "transfer/resume_servers.h"
#include "store/keys.h"

#include <string>

namespace pellmarsh {
namespace {

constexpr const char* kBuggyResumeServers[] = {"Server: Microsoft-PWS-95/2.0"};

}  // namespace

bool IsBuggyResumeServer(const Item& item) {
  // The log can be a megabyte: looked at where it is, not copied.
  std::string unpacked;
  const std::string_view log = item.ViewProp(key::kLog, unpacked);
  for (const char* server : kBuggyResumeServers) {
    if (log.find(server) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace pellmarsh
