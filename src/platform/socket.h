#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/byte_stream.h"

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

// An IPv4 address and port, both in host byte order.
struct SocketAddress {
  uint32_t address = 0;
  uint16_t port = 0;
};

struct Readiness {
  bool ready = false;
  int error = 0;
};

// One IPv4 TCP socket, closed with the object. Every call returns at once:
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

  // Returns 0 or the error number; the socket is valid only on success.
  int Create();
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

}  // namespace pellmarsh
