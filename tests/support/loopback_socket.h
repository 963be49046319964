#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellmarsh::testing {

// How long a test peer or test client waits for one thing before it gives up.
inline constexpr std::chrono::milliseconds kPeerTimeout{5000};

// A non-blocking TCP socket on the loopback interface for test peers and the
// clients in tests. It is deliberately independent of the program's own socket
// code, so a fault there cannot hide behind the same fault here. Every call that
// waits has a deadline; a failed call leaves its reason in error().
class LoopbackSocket {
 public:
  LoopbackSocket() = default;
  explicit LoopbackSocket(int fd) : fd_(fd) {}
  LoopbackSocket(LoopbackSocket&& other) noexcept;
  LoopbackSocket& operator=(LoopbackSocket&& other) noexcept;
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;
  ~LoopbackSocket() { Close(); }

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  uint16_t LocalPort() const;
  const std::string& error() const { return error_; }

  // Every wait also ends, as a failure, as soon as fd becomes readable: the
  // owner's stop signal, so that a destructor never waits out a deadline.
  void SetCancelFd(int fd) { cancelFd_ = fd; }

  bool Send(std::string_view bytes, std::chrono::milliseconds timeout = kPeerTimeout);

  // The next line without its LF or CR LF; nullopt when no LF arrived in time.
  std::optional<std::string> ReceiveLine(std::chrono::milliseconds timeout = kPeerTimeout);
  // Everything up to and including marker; nullopt when it did not arrive in time.
  std::optional<std::string> ReceiveUntil(std::string_view marker,
                                          std::chrono::milliseconds timeout = kPeerTimeout);
  // Everything until the peer closes; nullopt when it did not close in time.
  std::optional<std::string> ReceiveUntilClosed(std::chrono::milliseconds timeout = kPeerTimeout);
  // What has arrived but no call has returned yet (for example after a time-out).
  std::string TakeBuffered();

  // On a listening socket: the next connection, or an invalid socket after timeout.
  LoopbackSocket Accept(std::chrono::milliseconds timeout = kPeerTimeout);

  void ShutdownWrite();
  // Closes with a reset (RST) instead of an orderly FIN.
  void Reset();
  void Close();

 private:
  using Deadline = std::chrono::steady_clock::time_point;
  enum class Ready { kYes, kTimedOut, kCancelled, kFailed };
  Ready WaitUntil(short events, Deadline deadline);
  // Appends what arrives next to buffer_; false on time-out, close or error.
  bool Fill(Deadline deadline);

  int fd_ = -1;
  int cancelFd_ = -1;
  std::string buffer_;
  std::string error_;
  bool peerClosed_ = false;
};

// A connection to 127.0.0.1:port; invalid (with nothing listening) on failure.
LoopbackSocket ConnectLoopback(uint16_t port, std::chrono::milliseconds timeout = kPeerTimeout);
// A connection to an address in 127.0.0.0/8 given in host byte order.
LoopbackSocket ConnectLoopback(uint32_t address, uint16_t port,
                               std::chrono::milliseconds timeout = kPeerTimeout);
// A connection to [::1]:port; invalid (with nothing listening) on failure.
LoopbackSocket ConnectLoopbackIPv6(uint16_t port, std::chrono::milliseconds timeout = kPeerTimeout);
// A socket listening on 127.0.0.1 on a port the system chose (see LocalPort()).
LoopbackSocket ListenLoopback();
// The same on ::1; invalid where this system has no IPv6 loopback.
LoopbackSocket ListenLoopbackIPv6();
// Whether ::1 can be listened on here; IPv6 tests skip without it.
bool HasIPv6Loopback();
// Connects, sends bytes and closes in order; false if any of it failed.
bool ConnectAndSend(uint16_t port, std::string_view bytes,
                    std::chrono::milliseconds timeout = kPeerTimeout);

}  // namespace pellmarsh::testing
