#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace pellmarsh {
namespace {

// The system's form of an address, and its length.
struct NativeAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;

  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

NativeAddress ToSockaddr(const SocketAddress& address) {
  NativeAddress native;
  if (address.ipv6()) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&native.storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(address.port);
    std::memcpy(in6->sin6_addr.s6_addr, address.address6.data(), address.address6.size());
    in6->sin6_scope_id = address.scopeId;
    native.length = sizeof(sockaddr_in6);
  } else {
    auto* in4 = reinterpret_cast<sockaddr_in*>(&native.storage);
    in4->sin_family = AF_INET;
    in4->sin_port = htons(address.port);
    in4->sin_addr.s_addr = htonl(address.address);
    native.length = sizeof(sockaddr_in);
  }
  return native;
}

int LastError() {
  return SocketErrorFromErrno(errno);
}

// getsockname or getpeername into an address.
int AddressOf(int fd, int (*query)(int, sockaddr*, socklen_t*), SocketAddress& address) {
  sockaddr_storage native{};
  socklen_t length = sizeof native;
  if (query(fd, reinterpret_cast<sockaddr*>(&native), &length) != 0) {
    return LastError();
  }
  address = SocketAddressFrom(*reinterpret_cast<const sockaddr*>(&native));
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

int TcpSocket::Create(AddressFamily family) {
  Close();
  fd_ =
      ::socket(family == AddressFamily::kIPv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
  const NativeAddress native = ToSockaddr(to);
  if (::connect(fd_, native.get(), native.length) == 0) {
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
  const NativeAddress native = ToSockaddr(at);
  return ::bind(fd_, native.get(), native.length) == 0 ? 0 : LastError();
}

int TcpSocket::Listen(int backlog) {
  return ::listen(fd_, backlog) == 0 ? 0 : LastError();
}

TcpSocket TcpSocket::Accept(SocketAddress& peer, int& error) {
  sockaddr_storage native{};
  socklen_t length = sizeof native;
  const int fd =
      ::accept4(fd_, reinterpret_cast<sockaddr*>(&native), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    error = LastError();
    return TcpSocket();
  }
  error = 0;
  peer = SocketAddressFrom(*reinterpret_cast<const sockaddr*>(&native));
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

bool ParseIPv6Address(std::string_view text, SocketAddress& address) {
  // inet_pton would stop at a NUL; a zone ("%eth0") is no part of an address here.
  if (text.empty() || text.size() >= INET6_ADDRSTRLEN ||
      text.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos) {
    return false;
  }
  const std::string copy(text);
  in6_addr native{};
  if (::inet_pton(AF_INET6, copy.c_str(), &native) != 1) {
    return false;
  }
  SocketAddress parsed;
  parsed.family = AddressFamily::kIPv6;
  std::memcpy(parsed.address6.data(), native.s6_addr, parsed.address6.size());
  parsed.port = address.port;
  address = parsed;
  return true;
}

std::string AddressText(const SocketAddress& address) {
  if (!address.ipv6()) {
    return DottedQuad(address.address);
  }
  char text[INET6_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET6, address.address6.data(), text, sizeof text);
  return text;
}

SocketAddress SocketAddressFrom(const sockaddr& native) {
  SocketAddress address;
  if (native.sa_family == AF_INET) {
    const auto& in4 = reinterpret_cast<const sockaddr_in&>(native);
    address.address = ntohl(in4.sin_addr.s_addr);
    address.port = ntohs(in4.sin_port);
    return address;
  }
  if (native.sa_family != AF_INET6) {
    return address;
  }
  const auto& in6 = reinterpret_cast<const sockaddr_in6&>(native);
  address.port = ntohs(in6.sin6_port);
  if (IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr)) {
    uint32_t mapped = 0;
    std::memcpy(&mapped, in6.sin6_addr.s6_addr + 12, sizeof mapped);
    address.address = ntohl(mapped);
    return address;
  }
  address.family = AddressFamily::kIPv6;
  std::memcpy(address.address6.data(), in6.sin6_addr.s6_addr, address.address6.size());
  address.scopeId = in6.sin6_scope_id;
  return address;
}

}  // namespace pellmarsh
