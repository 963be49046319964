#pragma once

#include <string>

#include "platform/socket.h"

namespace pellmarsh {

// The calls that make a listening socket, so that tests can make them fail.
// Each returns 0 or the program's socket error number.
class ListenerCalls {
 public:
  virtual ~ListenerCalls() = default;
  // A fresh non-blocking TCP socket in place of any earlier one.
  virtual int Create() = 0;
  virtual int Bind(const SocketAddress& at) = 0;
  virtual int LocalAddress(SocketAddress& bound) = 0;
  virtual int Listen(int backlog) = 0;
  virtual void Close() = 0;
};

// The calls on one TcpSocket of the caller's.
class TcpListenerCalls final : public ListenerCalls {
 public:
  TcpListenerCalls(TcpSocket& socket, AddressFamily family) : socket_(socket), family_(family) {}
  int Create() override;
  int Bind(const SocketAddress& at) override { return socket_.Bind(at); }
  int LocalAddress(SocketAddress& bound) override { return socket_.LocalAddress(bound); }
  int Listen(int backlog) override { return socket_.Listen(backlog); }
  void Close() override { socket_.Close(); }

 private:
  TcpSocket& socket_;
  AddressFamily family_;
};

struct DataListenResult {
  std::string failure;  // the session's failure message; empty once listening
  SocketAddress bound;  // where the socket listens
};

// A listen that says "already connected" is tried again on a fresh socket
// bound to the port just read, this many times in all.
inline constexpr int kDataListenAttempts = 3;

// Creates, binds (port 0 lets the system choose) and listens with a backlog of 5.
DataListenResult ListenForData(ListenerCalls& calls, SocketAddress at);

// Makes `socket` a fresh non-blocking one and starts its connect to `to`;
// 0 once the connect is under way or done, or the error number.
int ConnectForData(TcpSocket& socket, const SocketAddress& to);

}  // namespace pellmarsh
