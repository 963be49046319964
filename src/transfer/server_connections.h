#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <string_view>

#include "store/item.h"
#include "store/keys.h"

namespace pellmarsh {

// How many connections the downloads may hold to one server together.
inline int ConnectionsPerServer(const Item& settings) {
  return std::max(settings.GetPropInt(setting::kConnectionsPerServer), 1);
}

// The connections the running http(s) downloads hold to each server, so that
// together they keep within the per-server setting, and the downloads queued
// for a server that has none left: a download holding several of them gives
// one up for them. Read and changed under the tree lock.
class ServerConnections {
 public:
  int Count(std::string_view host) const { return Find(counts_, host); }
  void Change(const std::string& host, int delta) {
    const int count = Count(host) + delta;
    if (count > 0) {
      counts_[host] = count;
    } else {
      counts_.erase(host);
    }
    if (delta < 0 && Waiting(host) > 0) {
      roomMade_ = true;
    }
  }

  // Downloads that found the server full at the last walk of the queue.
  int Waiting(std::string_view host) const { return Find(waiting_, host); }
  void AddWaiting(const std::string& host) { ++waiting_[host]; }
  void ForgetWaiting() { waiting_.clear(); }
  // True once after a connection came free on a server someone waits for.
  bool TakeRoomMade() {
    const bool made = roomMade_;
    roomMade_ = false;
    return made;
  }

 private:
  using Counts = std::map<std::string, int, std::less<>>;
  static int Find(const Counts& counts, std::string_view host) {
    const auto found = counts.find(host);
    return found == counts.end() ? 0 : found->second;
  }

  Counts counts_;
  Counts waiting_;
  bool roomMade_ = false;
};

}  // namespace pellmarsh
