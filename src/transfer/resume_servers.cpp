#include "transfer/resume_servers.h"
#include "store/keys.h"

#include <string>

namespace pellmarsh {
namespace {

constexpr const char* kBuggyResumeServers[] = {"Server: Microsoft-PWS-95/2.0"};

}  // namespace

bool IsBuggyResumeServer(const Item& item) {
  // The log can be a megabyte: looked at where it is, not copied.
  const std::string* log = item.FindProp(key::kLog);
  if (!log) {
    return false;
  }
  for (const char* server : kBuggyResumeServers) {
    if (log->find(server) != std::string::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace pellmarsh
