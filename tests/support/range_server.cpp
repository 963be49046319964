#include "support/range_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace pellmarsh::testing {
namespace {

void ReadRange(RangeServer::Request& request) {
  const size_t at = request.head.find("Range: bytes=");
  if (at == std::string::npos) {
    return;
  }
  const std::string range = request.head.substr(at + 13, request.head.find('\r', at) - at - 13);
  const size_t dash = range.find('-');
  request.first = std::stoll(range.substr(0, dash));
  if (dash + 1 < range.size()) {
    request.last = std::stoll(range.substr(dash + 1));
  }
}

std::string Hex(size_t number) {
  char text[32];
  std::snprintf(text, sizeof text, "%zx", number);
  return text;
}

}  // namespace

RangeServer::RangeServer(Handler handler)
    : handler_(std::move(handler)), listener_(ListenLoopback()), port_(listener_.LocalPort()) {
  stopFd_ = ::eventfd(0, EFD_CLOEXEC);
  thread_ = std::thread([this] { Serve(); });
}

RangeServer::~RangeServer() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(stopFd_, &one, sizeof one);
  thread_.join();
  ::close(stopFd_);
}

std::string RangeServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void RangeServer::Serve() {
  for (;;) {
    pollfd waits[2] = {{listener_.fd(), POLLIN, 0}, {stopFd_, POLLIN, 0}};
    ::poll(waits, 2, -1);
    if (waits[1].revents & POLLIN) {
      break;
    }
    LoopbackSocket client = listener_.Accept();
    if (client.valid()) {
      connections_.emplace_back(
          [this, socket = std::move(client)]() mutable { Answer(std::move(socket)); });
    }
  }
  for (std::thread& connection : connections_) {
    connection.join();
  }
}

void RangeServer::Answer(LoopbackSocket client) {
  client.SetCancelFd(stopFd_);
  std::optional<std::string> head = client.ReceiveUntil("\r\n\r\n");
  if (!head) {
    return;
  }
  Request request;
  request.head = std::move(*head);
  ReadRange(request);
  std::optional<Reply> reply;
  {
    std::lock_guard lock(handlerMutex_);
    request.number = requests_++;
    reply.emplace(handler_(request));
  }
  if (client.Send(reply->bytes) && reply->holdOpen) {
    pollfd stop{stopFd_, POLLIN, 0};
    ::poll(&stop, 1, -1);
  }
}

std::string RangeServer::Answer(const std::string& content, const Request& request,
                                std::optional<size_t> body) {
  const auto size = static_cast<int64_t>(content.size());
  if (!request.first) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n" + content;
  }
  const int64_t first = *request.first;
  const int64_t last = std::min(request.last.value_or(size - 1), size - 1);
  const std::string bytes = content.substr(first, last - first + 1);
  return "HTTP/1.0 206 Partial Content\r\nContent-Length: " + std::to_string(bytes.size()) +
         "\r\nContent-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
         std::to_string(size) + "\r\n\r\n" + bytes.substr(0, body.value_or(bytes.size()));
}

std::string RangeServer::ChunkedAnswer(const std::string& content, const Request& request,
                                       size_t extra) {
  const auto size = static_cast<int64_t>(content.size());
  const int64_t first = request.first.value_or(0);
  const int64_t last = std::min(request.last.value_or(size - 1), size - 1);
  const std::string bytes = content.substr(first, last - first + 1) + std::string(extra, '\xEE');
  return "HTTP/1.1 206 Partial Content\r\nTransfer-Encoding: chunked\r\nContent-Range: bytes " +
         std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(size) +
         "\r\n\r\n" + Hex(bytes.size()) + "\r\n" + bytes + "\r\n0\r\n\r\n";
}

}  // namespace pellmarsh::testing
