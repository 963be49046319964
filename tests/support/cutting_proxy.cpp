#include "support/cutting_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

namespace pellmarsh::testing {
namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

void ResetAndClose(int fd) {
  linger abort{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(fd);
}

}  // namespace

CuttingProxy::CuttingProxy(uint16_t upstreamPort, int64_t cutAfterBytes, Cut cut,
                           int connectionsToCut)
    : upstreamPort_(upstreamPort),
      cutAfter_(cutAfterBytes),
      cut_(cut),
      connectionsToCut_(connectionsToCut) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listenFd_, 16);
  socklen_t length = sizeof address;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  stopFd_ = ::eventfd(0, EFD_CLOEXEC);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

CuttingProxy::~CuttingProxy() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(stopFd_, &one, sizeof one);
  acceptor_.join();
  for (std::thread& relay : relays_) {
    relay.join();
  }
  ::close(listenFd_);
  ::close(stopFd_);
}

void CuttingProxy::AcceptLoop() {
  for (;;) {
    pollfd waits[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (::poll(waits, 2, -1) < 0 || (waits[1].revents & POLLIN)) {
      return;
    }
    const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) {
      const bool cuts = connectionsToCut_ == kEveryConnection || accepted_ < connectionsToCut_;
      const int64_t cutAfter = cuts ? cutAfter_ : std::numeric_limits<int64_t>::max();
      ++accepted_;
      relays_.emplace_back([this, client, cutAfter] { Relay(client, cutAfter); });
    }
  }
}

void CuttingProxy::Relay(int client, int64_t cutAfter) {
  const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(upstreamPort_);
  if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ResetAndClose(client);
    ::close(server);
    return;
  }
  int64_t toClient = 0;
  bool silent = false;
  bool serverEnded = false;
  char buffer[65536];
  for (;;) {
    pollfd waits[3] = {
        {client, static_cast<short>(silent ? 0 : POLLIN), 0},
        {server, static_cast<short>(silent ? 0 : POLLIN), 0},
        {stopFd_, POLLIN, 0},
    };
    if (::poll(waits, 3, -1) < 0 || (waits[2].revents & POLLIN)) {
      break;
    }
    if (waits[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t got = ::read(client, buffer, sizeof buffer);
      if (got <= 0 || ::send(server, buffer, static_cast<size_t>(got), MSG_NOSIGNAL) != got) {
        break;
      }
    }
    if (waits[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      // Never relay past the cut, so every attempt ends at the same offset.
      const size_t room =
          static_cast<size_t>(std::min<int64_t>(sizeof buffer, cutAfter - toClient));
      const ssize_t got = ::read(server, buffer, room);
      serverEnded = got == 0;
      if (got <= 0 || ::send(client, buffer, static_cast<size_t>(got), MSG_NOSIGNAL) != got) {
        break;
      }
      toClient += got;
      if (toClient >= cutAfter) {
        ++cuts_;
        if (cut_ != Cut::kSilence) {
          break;
        }
        silent = true;
      }
    }
  }
  // Only a reset cut is a reset: a server that ended its answer ends the relay too.
  if (serverEnded || cut_ == Cut::kClose) {
    ::close(client);
  } else {
    ResetAndClose(client);
  }
  ::close(server);
}

}  // namespace pellmarsh::testing
