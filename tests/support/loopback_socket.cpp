#include "support/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace pellmarsh::testing {
namespace {

std::string ErrnoText(const char* call, int error) {
  return std::string(call) + ": " + std::generic_category().message(error);
}

int PollTimeout(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

sockaddr_in LoopbackAddress(uint32_t address, uint16_t port) {
  sockaddr_in socketAddress{};
  socketAddress.sin_family = AF_INET;
  socketAddress.sin_addr.s_addr = htonl(address);
  socketAddress.sin_port = htons(port);
  return socketAddress;
}

}  // namespace

LoopbackSocket::LoopbackSocket(LoopbackSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      cancelFd_(other.cancelFd_),
      buffer_(std::move(other.buffer_)),
      error_(std::move(other.error_)),
      peerClosed_(other.peerClosed_) {}

LoopbackSocket& LoopbackSocket::operator=(LoopbackSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    cancelFd_ = other.cancelFd_;
    buffer_ = std::move(other.buffer_);
    error_ = std::move(other.error_);
    peerClosed_ = other.peerClosed_;
  }
  return *this;
}

uint16_t LoopbackSocket::LocalPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof(address);
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

LoopbackSocket::Ready LoopbackSocket::WaitUntil(short events, Deadline deadline) {
  for (;;) {
    pollfd fds[2] = {{fd_, events, 0}, {cancelFd_, POLLIN, 0}};
    const int count = ::poll(fds, cancelFd_ >= 0 ? 2 : 1, PollTimeout(deadline));
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      error_ = ErrnoText("poll", errno);
      return Ready::kFailed;
    }
    if (cancelFd_ >= 0 && fds[1].revents != 0) {
      error_ = "stopped";
      return Ready::kCancelled;
    }
    if (fds[0].revents != 0) {
      return Ready::kYes;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      error_ = "timed out";
      return Ready::kTimedOut;
    }
  }
}

bool LoopbackSocket::Fill(Deadline deadline) {
  for (;;) {
    if (WaitUntil(POLLIN, deadline) != Ready::kYes) {
      return false;
    }
    char chunk[16384];
    const ssize_t got = ::recv(fd_, chunk, sizeof(chunk), MSG_DONTWAIT);
    if (got > 0) {
      buffer_.append(chunk, static_cast<size_t>(got));
      return true;
    }
    if (got == 0) {
      peerClosed_ = true;
      error_ = "closed by the peer";
      return false;
    }
    if (errno != EINTR && errno != EAGAIN) {
      error_ = ErrnoText("recv", errno);
      return false;
    }
  }
}

bool LoopbackSocket::Send(std::string_view bytes, std::chrono::milliseconds timeout) {
  const Deadline deadline = std::chrono::steady_clock::now() + timeout;
  while (!bytes.empty()) {
    if (WaitUntil(POLLOUT, deadline) != Ready::kYes) {
      return false;
    }
    const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0) {
      bytes.remove_prefix(static_cast<size_t>(sent));
    } else if (errno != EINTR && errno != EAGAIN) {
      error_ = ErrnoText("send", errno);
      return false;
    }
  }
  return true;
}

std::optional<std::string> LoopbackSocket::ReceiveLine(std::chrono::milliseconds timeout) {
  const Deadline deadline = std::chrono::steady_clock::now() + timeout;
  size_t end;
  while ((end = buffer_.find('\n')) == std::string::npos) {
    if (!Fill(deadline)) {
      return std::nullopt;
    }
  }
  std::string line = buffer_.substr(0, end);
  buffer_.erase(0, end + 1);
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return line;
}

std::optional<std::string> LoopbackSocket::ReceiveUntil(std::string_view marker,
                                                        std::chrono::milliseconds timeout) {
  const Deadline deadline = std::chrono::steady_clock::now() + timeout;
  size_t found;
  while ((found = buffer_.find(marker)) == std::string::npos) {
    if (!Fill(deadline)) {
      return std::nullopt;
    }
  }
  std::string bytes = buffer_.substr(0, found + marker.size());
  buffer_.erase(0, found + marker.size());
  return bytes;
}

std::optional<std::string> LoopbackSocket::ReceiveUntilClosed(std::chrono::milliseconds timeout) {
  const Deadline deadline = std::chrono::steady_clock::now() + timeout;
  while (Fill(deadline)) {
  }
  if (!peerClosed_) {
    return std::nullopt;
  }
  return TakeBuffered();
}

std::string LoopbackSocket::TakeBuffered() {
  return std::exchange(buffer_, std::string());
}

LoopbackSocket LoopbackSocket::Accept(std::chrono::milliseconds timeout) {
  const Deadline deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (WaitUntil(POLLIN, deadline) != Ready::kYes) {
      return LoopbackSocket();
    }
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      // Each send goes out at once, so a script's pieces reach the peer as pieces.
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
      return LoopbackSocket(fd);
    }
    if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
      error_ = ErrnoText("accept", errno);
      return LoopbackSocket();
    }
  }
}

void LoopbackSocket::ShutdownWrite() {
  if (fd_ >= 0) {
    ::shutdown(fd_, SHUT_WR);
  }
}

void LoopbackSocket::Reset() {
  if (fd_ >= 0) {
    const linger abortive{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
    Close();
  }
}

void LoopbackSocket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

LoopbackSocket ConnectLoopback(uint16_t port, std::chrono::milliseconds timeout) {
  return ConnectLoopback(INADDR_LOOPBACK, port, timeout);
}

namespace {

LoopbackSocket ConnectTo(const sockaddr* target, socklen_t size,
                         std::chrono::milliseconds timeout) {
  LoopbackSocket socket(::socket(target->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!socket.valid()) {
    return socket;
  }
  if (::connect(socket.fd(), target, size) == 0) {
    return socket;
  }
  if (errno != EINPROGRESS) {
    return LoopbackSocket();
  }
  pollfd pending{socket.fd(), POLLOUT, 0};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int count;
  while ((count = ::poll(&pending, 1, PollTimeout(deadline))) < 0 && errno == EINTR) {
  }
  int error = 0;
  socklen_t length = sizeof(error);
  if (count <= 0 || ::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
      error != 0) {
    return LoopbackSocket();
  }
  return socket;
}

LoopbackSocket ListenOn(const sockaddr* at, socklen_t size) {
  LoopbackSocket socket(::socket(at->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!socket.valid() || ::bind(socket.fd(), at, size) != 0 || ::listen(socket.fd(), 16) != 0) {
    return LoopbackSocket();
  }
  return socket;
}

sockaddr_in6 IPv6Loopback(uint16_t port) {
  sockaddr_in6 socketAddress{};
  socketAddress.sin6_family = AF_INET6;
  socketAddress.sin6_addr = in6addr_loopback;
  socketAddress.sin6_port = htons(port);
  return socketAddress;
}

}  // namespace

LoopbackSocket ConnectLoopback(uint32_t address, uint16_t port, std::chrono::milliseconds timeout) {
  if ((address >> 24) != 127) {
    return LoopbackSocket();  // Tests never leave the loopback interface.
  }
  const sockaddr_in target = LoopbackAddress(address, port);
  return ConnectTo(reinterpret_cast<const sockaddr*>(&target), sizeof(target), timeout);
}

LoopbackSocket ConnectLoopbackIPv6(uint16_t port, std::chrono::milliseconds timeout) {
  const sockaddr_in6 target = IPv6Loopback(port);
  return ConnectTo(reinterpret_cast<const sockaddr*>(&target), sizeof(target), timeout);
}

LoopbackSocket ListenLoopback() {
  const sockaddr_in any = LoopbackAddress(INADDR_LOOPBACK, 0);
  return ListenOn(reinterpret_cast<const sockaddr*>(&any), sizeof(any));
}

LoopbackSocket ListenLoopbackIPv6() {
  const sockaddr_in6 any = IPv6Loopback(0);
  return ListenOn(reinterpret_cast<const sockaddr*>(&any), sizeof(any));
}

bool HasIPv6Loopback() {
  return ListenLoopbackIPv6().valid();
}

bool ConnectAndSend(uint16_t port, std::string_view bytes, std::chrono::milliseconds timeout) {
  LoopbackSocket socket = ConnectLoopback(port, timeout);
  return socket.valid() && socket.Send(bytes, timeout);
}

}  // namespace pellmarsh::testing
