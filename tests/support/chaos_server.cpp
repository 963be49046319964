#include "support/chaos_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pellmarsh::testing {

ChaosServer::ChaosServer() : listen_(ListenLoopback()), port_(listen_.LocalPort()) {
  stopFd_ = ::eventfd(0, EFD_CLOEXEC);
  thread_ = std::thread([this] { Serve(); });
}

ChaosServer::~ChaosServer() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(stopFd_, &one, sizeof one);
  thread_.join();
  for (int fd : stalled_) {
    ::close(fd);
  }
  ::close(stopFd_);
}

void ChaosServer::Serve() {
  for (;;) {
    pollfd waits[2] = {{listen_.fd(), POLLIN, 0}, {stopFd_, POLLIN, 0}};
    ::poll(waits, 2, 200);
    if (waits[1].revents & POLLIN) {
      return;
    }
    // Stalled connections are let go after a while, as a slow server would.
    while (stalled_.size() > 4) {
      ::close(stalled_.front());
      stalled_.erase(stalled_.begin());
    }
    if (!(waits[0].revents & POLLIN)) {
      continue;
    }
    const int fd = ::accept4(listen_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      continue;
    }
    switch (connections_++ % 4) {
      case 0:
        ::close(fd);
        break;
      case 1: {
        linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(fd);
        break;
      }
      case 2:
        stalled_.push_back(fd);
        break;
      default: {
        const char reply[] = "HTTP/1.0 503 Service Unavailable\r\nServer: chaos\r\n\r\n";
        [[maybe_unused]] const ssize_t sent = ::send(fd, reply, sizeof reply - 1, MSG_NOSIGNAL);
        ::close(fd);
        break;
      }
    }
  }
}

}  // namespace pellmarsh::testing
