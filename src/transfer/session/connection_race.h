#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/socket.h"

namespace pellmarsh {

// Connects to the first of several addresses of one host that answers, racing
// them as RFC 8305 ("Happy Eyeballs") says: one attempt at a time in the given
// order, the next one once the newest has had kAttemptDelayMs without
// connecting or as soon as an attempt fails; the first connect to finish wins
// and the others are closed. Every call returns at once; the owner polls and
// keeps the overall time-out.
class ConnectionRace {
 public:
  static constexpr uint32_t kAttemptDelayMs = 250;

  enum class Outcome { kWaiting, kConnected, kFailed };
  struct Progress {
    Outcome outcome = Outcome::kWaiting;
    int error = 0;  // with kFailed: the last attempt's
  };

  // The addresses carry their port; there is at least one.
  ConnectionRace(const Clock& clock, std::vector<SocketAddress> addresses);

  // Creates the first attempt's socket: 0 or the error number.
  int Prepare();
  // Starts connecting: 0 when an attempt connected at once, kErrorWouldBlock
  // while it is under way, else the error of the last address, every one
  // having failed at once.
  int Start();
  Progress Poll();

  // After kConnected: the connection and where it goes.
  TcpSocket TakeWinner() { return std::move(winner_); }
  const SocketAddress& winnerAddress() const { return winnerAddress_; }
  // The socket whose connect a caller may wait on, or -1.
  int WaitFd() const;
  // What happened to the attempts beyond the first, for the session's log;
  // nothing when there is a single address.
  std::vector<std::string> TakeLogLines();

 private:
  struct Attempt {
    TcpSocket socket;
    SocketAddress address;
  };

  // Starts the next address's attempt; false when it failed at once.
  bool StartNext();
  // Starts attempts until one more is under way or no address is left.
  void StartAnother();
  void AttemptFailed(const SocketAddress& address, int error);

  const Clock& clock_;
  std::vector<SocketAddress> addresses_;
  size_t next_ = 0;                    // the address the next attempt goes to
  std::optional<TcpSocket> prepared_;  // the first attempt's socket, from Prepare
  std::vector<Attempt> underWay_;
  uint32_t lastStarted_ = 0;
  int lastError_ = 0;
  int startResult_ = 0;  // the newest attempt's connect: 0 or kErrorWouldBlock
  TcpSocket winner_;
  SocketAddress winnerAddress_;
  std::vector<std::string> logLines_;
};

}  // namespace pellmarsh
