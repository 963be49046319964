#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace pellmarsh {
namespace {

sockaddr_in ToSockaddr(const SocketAddress& address) {
  sockaddr_in native{};
  native.sin_family = AF_INET;
  native.sin_port = htons(address.port);
  native.sin_addr.s_addr = htonl(address.address);
  return native;
}

SocketAddress FromSockaddr(const sockaddr_in& native) {
  return {ntohl(native.sin_addr.s_addr), ntohs(native.sin_port)};
}

int LastError() {
  return SocketErrorFromErrno(errno);
}

// getsockname or getpeername into an address.
int AddressOf(int fd, int (*query)(int, sockaddr*, socklen_t*), SocketAddress& address) {
  sockaddr_in native{};
  socklen_t length = sizeof native;
  if (query(fd, reinterpret_cast<sockaddr*>(&native), &length) != 0) {
    return LastError();
  }
  address = FromSockaddr(native);
  return 0;
}

}  // namespace

int SocketErrorFromErrno(int error) {
  switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
      return kErrorWouldBlock;
    case EINTR:
      return 10004;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyFiles;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return kErrorConnectionAborted;
    case ECONNRESET:
    case EPIPE:
      return 10054;
    case ENOBUFS:
      return kErrorNoBuffers;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETIMEDOUT:
      return kErrorTimedOut;
    case ECONNREFUSED:
      return 10061;
    case EHOSTUNREACH:
      return 10065;
    default:
      return error;
  }
}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

int TcpSocket::Create() {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return fd_ < 0 ? LastError() : 0;
}

void TcpSocket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

int TcpSocket::SetNonBlocking() {
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) < 0) {
    return LastError();
  }
  return 0;
}

int TcpSocket::Connect(const SocketAddress& to) {
  const sockaddr_in native = ToSockaddr(to);
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0) {
    return 0;
  }
  return LastError();
}

Readiness TcpSocket::Poll(short events) const {
  pollfd entry{fd_, events, 0};
  const int result = ::poll(&entry, 1, 0);
  if (result < 0) {
    return {false, LastError()};
  }
  if (entry.revents & POLLNVAL) {
    return {false, 10038};
  }
  // An error or hang-up counts as ready: the next call on the socket reports it.
  return {result > 0 && (entry.revents & (events | POLLERR | POLLHUP)) != 0, 0};
}

Readiness TcpSocket::PollWritable() const {
  return Poll(POLLOUT);
}

Readiness TcpSocket::PollReadable() const {
  return Poll(POLLIN);
}

int TcpSocket::PendingError() const {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    return LastError();
  }
  return error == 0 ? 0 : SocketErrorFromErrno(error);
}

IoResult TcpSocket::Send(std::string_view bytes) {
  const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  if (sent < 0) {
    return {0, LastError()};
  }
  return {static_cast<size_t>(sent), 0};
}

IoResult TcpSocket::Receive(char* buffer, size_t size) {
  const ssize_t got = ::recv(fd_, buffer, size, 0);
  if (got < 0) {
    return {0, LastError()};
  }
  return {static_cast<size_t>(got), 0};
}

int TcpSocket::Bind(const SocketAddress& at) {
  const sockaddr_in native = ToSockaddr(at);
  return ::bind(fd_, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0 ? 0
                                                                                     : LastError();
}

int TcpSocket::Listen(int backlog) {
  return ::listen(fd_, backlog) == 0 ? 0 : LastError();
}

TcpSocket TcpSocket::Accept(SocketAddress& peer, int& error) {
  sockaddr_in native{};
  socklen_t length = sizeof native;
  const int fd =
      ::accept4(fd_, reinterpret_cast<sockaddr*>(&native), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    error = LastError();
    return TcpSocket();
  }
  error = 0;
  peer = FromSockaddr(native);
  return TcpSocket(fd);
}

int TcpSocket::LocalAddress(SocketAddress& address) const {
  return AddressOf(fd_, ::getsockname, address);
}

int TcpSocket::PeerAddress(SocketAddress& address) const {
  return AddressOf(fd_, ::getpeername, address);
}

bool ParseDottedAddress(std::string_view text, uint32_t& address) {
  // inet_aton would stop at a NUL and accept anything after a blank.
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '.';
      })) {
    return false;
  }
  const std::string copy(text);
  in_addr native{};
  if (::inet_aton(copy.c_str(), &native) == 0) {
    return false;
  }
  address = ntohl(native.s_addr);
  return true;
}

std::string DottedQuad(uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

}  // namespace pellmarsh
