#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/byte_stream.h"

struct sockaddr;

namespace pellmarsh {

// Error numbers are the program's own vocabulary (the classic Windows Sockets
// numbers), so logged and stored messages read the same on every system.
inline constexpr int kErrorWouldBlock = 10035;
inline constexpr int kErrorTimedOut = 10060;
inline constexpr int kErrorTooManyFiles = 10024;  // EMFILE and ENFILE
inline constexpr int kErrorNoBuffers = 10055;
inline constexpr int kErrorConnectionAborted = 10053;

// Maps an errno from a socket call onto that vocabulary; an errno without a
// counterpart is passed on as it is.
int SocketErrorFromErrno(int error);

enum class AddressFamily : uint8_t { kIPv4, kIPv6 };

// An IPv4 or IPv6 address and a port. The IPv4 fields come first so that
// {address, port} still names an IPv4 end point; a field of the other family
// stays zero, so two addresses compare equal only when they are the same.
struct SocketAddress {
  uint32_t address = 0;  // IPv4, host byte order
  uint16_t port = 0;     // host byte order
  AddressFamily family = AddressFamily::kIPv4;
  std::array<uint8_t, 16> address6{};  // IPv6, network byte order
  uint32_t scopeId = 0;                // the interface of a link-local IPv6 address

  bool ipv6() const { return family == AddressFamily::kIPv6; }
  friend bool operator==(const SocketAddress&, const SocketAddress&) = default;
};

struct Readiness {
  bool ready = false;
  int error = 0;
};

// One TCP socket of either family, closed with the object. Every call returns at once:
// readiness is asked with a zero time-out and sends never raise SIGPIPE.
class TcpSocket final : public ByteStream {
 public:
  TcpSocket() = default;
  explicit TcpSocket(int fd) : fd_(fd) {}
  TcpSocket(TcpSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  ~TcpSocket() { Close(); }

  // Returns 0 or the error number; the socket is valid only on success. It
  // connects, binds and accepts addresses of its family only.
  int Create(AddressFamily family = AddressFamily::kIPv4);
  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Close();

  int SetNonBlocking();
  // 0 when connected at once, kErrorWouldBlock while the connect is under way.
  int Connect(const SocketAddress& to);
  Readiness PollWritable() const;
  Readiness PollReadable() const;
  // The error a finished non-blocking connect left on the socket, or 0.
  int PendingError() const;
  IoResult Send(std::string_view bytes) override;
  IoResult Receive(char* buffer, size_t size) override;
  IoWait NextWait(bool sending) const override { return {fd_, sending}; }
  int Bind(const SocketAddress& at);
  int Listen(int backlog);
  // A new non-blocking connection, or an invalid socket with the error in `error`.
  TcpSocket Accept(SocketAddress& peer, int& error);
  // Return 0 or the error number.
  int LocalAddress(SocketAddress& address) const;
  int PeerAddress(SocketAddress& address) const;

 private:
  Readiness Poll(short events) const;

  int fd_ = -1;
};

// A numeric host to a host-order address, read as the C library's inet_aton
// reads it ("127.1" and "2130706433" are loopback too); false when the text is no such address.
bool ParseDottedAddress(std::string_view text, uint32_t& address);
// A host-order address as dotted-quad text, most significant byte first.
std::string DottedQuad(uint32_t address);

// An IPv6 address in any of its standard text forms ("::1", "2001:db8::1",
// "::ffff:1.2.3.4"), without brackets, port or zone, into an IPv6 address that
// keeps the port it had; false, and the address untouched, when the text is none.
bool ParseIPv6Address(std::string_view text, SocketAddress& address);
// Dotted-quad text for IPv4, the standard compressed lower-case form without
// brackets for IPv6 ("2001:db8::1").
std::string AddressText(const SocketAddress& address);
// The address a system call filled in (AF_INET or AF_INET6); an IPv4 address
// mapped into IPv6 ("::ffff:1.2.3.4") comes back as the IPv4 address it is.
SocketAddress SocketAddressFrom(const sockaddr& native);

}  // namespace pellmarsh
