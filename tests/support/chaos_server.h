#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "support/loopback_socket.h"

namespace pellmarsh::testing {

// A server on 127.0.0.1 that, connection by connection, refuses, resets, stalls
// for a while and answers with a server error, in turn. It reads nothing.
class ChaosServer {
 public:
  ChaosServer();
  ChaosServer(const ChaosServer&) = delete;
  ChaosServer& operator=(const ChaosServer&) = delete;
  ~ChaosServer();

  uint16_t port() const { return port_; }
  int connections() const { return connections_; }

 private:
  void Serve();

  LoopbackSocket listen_;
  int stopFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<int> connections_{0};
  std::vector<int> stalled_;
  std::thread thread_;
};

}  // namespace pellmarsh::testing
