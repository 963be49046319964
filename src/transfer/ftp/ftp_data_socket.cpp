#include "transfer/ftp/ftp_data_socket.h"

#include "transfer/socket_error_text.h"

namespace pellmarsh {
namespace {

constexpr int kErrorAlreadyConnected = 10056;
constexpr int kBacklog = 5;

}  // namespace

int TcpListenerCalls::Create() {
  if (const int error = socket_.Create(family_); error != 0) {
    return error;
  }
  return socket_.SetNonBlocking();
}

DataListenResult ListenForData(ListenerCalls& calls, SocketAddress at) {
  DataListenResult result;
  int listenError = 0;
  for (int attempt = 0; attempt < kDataListenAttempts; ++attempt) {
    if (calls.Create() != 0) {
      result.failure = "Could not create a data socket for ftp.";
      return result;
    }
    int error = calls.Bind(at);
    if (error == 0 || error == kErrorAlreadyConnected) {
      error = calls.LocalAddress(result.bound);
    }
    if (error != 0) {
      result.failure = "Could not bind ftp data socket: " + SocketErrorText(error);
      return result;
    }
    listenError = calls.Listen(kBacklog);
    if (listenError == 0) {
      return result;
    }
    if (listenError != kErrorAlreadyConnected) {
      break;
    }
    calls.Close();
    at.port = result.bound.port;
  }
  calls.Close();
  result.failure = "Could not listen on ftp data socket: " + SocketErrorText(listenError);
  return result;
}

int ConnectForData(TcpSocket& socket, const SocketAddress& to) {
  int error = socket.Create(to.family);
  if (error == 0) {
    error = socket.SetNonBlocking();
  }
  if (error == 0) {
    error = socket.Connect(to);
  }
  return error == kErrorWouldBlock ? 0 : error;
}

}  // namespace pellmarsh
