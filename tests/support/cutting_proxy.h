#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace pellmarsh::testing {

// A TCP relay on 127.0.0.1 in front of a loopback server that breaks every
// connection after a number of bytes have gone from the server to the client:
// by resetting it, by closing it as if the server had ended, or by going silent
// (holding it open and relaying nothing more). A broken link on demand, for the resume and retry
// paths.
class CuttingProxy {
 public:
  enum class Cut { kReset, kClose, kSilence };
  static constexpr int kEveryConnection = -1;

  // Only the first `connectionsToCut` connections are cut; later ones are
  // relayed whole.
  CuttingProxy(uint16_t upstreamPort, int64_t cutAfterBytes, Cut cut,
               int connectionsToCut = kEveryConnection);
  CuttingProxy(const CuttingProxy&) = delete;
  CuttingProxy& operator=(const CuttingProxy&) = delete;
  // Stops relaying and joins every thread.
  ~CuttingProxy();

  uint16_t port() const { return port_; }
  int connectionsCut() const { return cuts_; }

 private:
  void AcceptLoop();
  void Relay(int client, int64_t cutAfter);

  uint16_t upstreamPort_;
  int64_t cutAfter_;
  Cut cut_;
  int connectionsToCut_;
  int accepted_ = 0;  // by the accepting thread only
  int listenFd_ = -1;
  int stopFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<int> cuts_{0};
  std::thread acceptor_;
  std::vector<std::thread> relays_;
};

}  // namespace pellmarsh::testing
