#include "transfer/session/connection_race.h"

#include <cstddef>
#include <utility>

#include "transfer/socket_error_text.h"

namespace pellmarsh {

ConnectionRace::ConnectionRace(const Clock& clock, std::vector<SocketAddress> addresses)
    : clock_(clock), addresses_(std::move(addresses)) {}

int ConnectionRace::Prepare() {
  TcpSocket socket;
  if (const int error = socket.Create(addresses_.front().family); error != 0) {
    return error;
  }
  socket.SetNonBlocking();
  prepared_ = std::move(socket);
  return 0;
}

int ConnectionRace::Start() {
  StartAnother();
  return underWay_.empty() ? lastError_ : startResult_;
}

bool ConnectionRace::StartNext() {
  const SocketAddress& address = addresses_[next_];
  if (next_ > 0) {
    logLines_.push_back("Connecting to host at " + AddressText(address) + ", port " +
                        std::to_string(address.port));
  }
  ++next_;
  TcpSocket socket;
  if (prepared_) {
    socket = std::move(*prepared_);
    prepared_.reset();
  } else if (const int error = socket.Create(address.family); error != 0) {
    AttemptFailed(address, error);
    return false;
  } else {
    socket.SetNonBlocking();
  }
  lastStarted_ = clock_.TickCount();
  // A connect that finished at once is found by the next poll like any other.
  const int error = socket.Connect(address);
  if (error != 0 && error != kErrorWouldBlock) {
    AttemptFailed(address, error);
    return false;
  }
  startResult_ = error;
  underWay_.push_back({std::move(socket), address});
  return true;
}

void ConnectionRace::StartAnother() {
  while (next_ < addresses_.size() && !StartNext()) {
  }
}

void ConnectionRace::AttemptFailed(const SocketAddress& address, int error) {
  lastError_ = error;
  if (addresses_.size() > 1 && (next_ < addresses_.size() || !underWay_.empty())) {
    logLines_.push_back("Could not connect to " + AddressText(address) + ": " +
                        SocketErrorText(error));
  }
}

ConnectionRace::Progress ConnectionRace::Poll() {
  for (size_t index = 0; index < underWay_.size();) {
    Attempt& attempt = underWay_[index];
    const Readiness writable = attempt.socket.PollWritable();
    int error = writable.error;
    if (error == 0 && !writable.ready) {
      ++index;
      continue;
    }
    // Writable also means the connect has ended; whether it succeeded is in the socket.
    if (error == 0 && (error = attempt.socket.PendingError()) == 0) {
      winner_ = std::move(attempt.socket);
      winnerAddress_ = attempt.address;
      underWay_.clear();
      return {Outcome::kConnected, 0};
    }
    const SocketAddress failed = attempt.address;
    underWay_.erase(underWay_.begin() + static_cast<std::ptrdiff_t>(index));
    AttemptFailed(failed, error);
  }
  if (underWay_.empty() || clock_.TickCount() - lastStarted_ >= kAttemptDelayMs) {
    StartAnother();
  }
  if (underWay_.empty()) {
    return {Outcome::kFailed, lastError_};
  }
  return {Outcome::kWaiting, 0};
}

int ConnectionRace::WaitFd() const {
  return underWay_.empty() ? -1 : underWay_.back().socket.fd();
}

std::vector<std::string> ConnectionRace::TakeLogLines() {
  return std::exchange(logLines_, {});
}

}  // namespace pellmarsh
