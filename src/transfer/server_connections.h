#pragma once

#include <map>
#include <string>
#include <string_view>

namespace pellmarsh {

// The connections the running http(s) downloads hold to each server, so that
// together they keep within the per-server setting. Read and changed under
// the tree lock.
class ServerConnections {
 public:
  int Count(std::string_view host) const {
    const auto found = counts_.find(host);
    return found == counts_.end() ? 0 : found->second;
  }
  void Change(const std::string& host, int delta) {
    const int count = Count(host) + delta;
    if (count > 0) {
      counts_[host] = count;
    } else {
      counts_.erase(host);
    }
  }

 private:
  std::map<std::string, int, std::less<>> counts_;
};

}  // namespace pellmarsh
