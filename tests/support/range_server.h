#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_socket.h"

namespace pellmarsh::testing {

// A loopback HTTP server whose answers a test writes from each request's
// range, for what nginx will not do on demand: a chunked part that runs past
// its range, a part cut short, a file that shrinks between parts. Each
// connection has a thread of its own: it reads the request head, sends the
// answer the handler gives, and closes, or holds the connection open silent
// until the server goes.
class RangeServer {
 public:
  struct Reply {
    Reply(std::string answer, bool holdOpen = false)  // NOLINT: a plain answer converts
        : bytes(std::move(answer)), holdOpen(holdOpen) {}
    std::string bytes;
    bool holdOpen;
  };
  struct Request {
    int number = 0;  // 0 for the first request
    std::string head;
    // "Range: bytes=first-last" as asked; last is none for "first-".
    std::optional<int64_t> first;
    std::optional<int64_t> last;
  };
  // Called on the connections' threads, one at a time.
  using Handler = std::function<Reply(const Request&)>;

  explicit RangeServer(Handler handler);
  RangeServer(const RangeServer&) = delete;
  RangeServer& operator=(const RangeServer&) = delete;
  ~RangeServer();

  uint16_t port() const { return port_; }
  std::string Url(const std::string& path) const;
  int requests() const { return requests_; }

  // The answers a well-behaved server gives for `content`: a 206 for a
  // range (its body cut to `body` bytes when given, as a server that breaks
  // off would), else a 200.
  static std::string Answer(const std::string& content, const Request& request,
                            std::optional<size_t> body = std::nullopt);
  // The same range's answer, chunked, with `extra` bytes past its end.
  static std::string ChunkedAnswer(const std::string& content, const Request& request,
                                   size_t extra);

 private:
  void Serve();
  void Answer(LoopbackSocket client);

  Handler handler_;
  LoopbackSocket listener_;
  uint16_t port_ = 0;
  int stopFd_ = -1;
  std::atomic<int> requests_{0};
  std::mutex handlerMutex_;
  std::vector<std::thread> connections_;  // on the accepting thread only
  std::thread thread_;
};

}  // namespace pellmarsh::testing
