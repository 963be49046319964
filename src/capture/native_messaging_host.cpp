#include "capture/native_messaging_host.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "capture/native_message.h"

namespace pellmarsh {
namespace {

// Bytes read into `buffer`, fewer than `size` only at the end of the input or
// on an error.
size_t ReadFully(int fd, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, buffer + done, size - done);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    done += static_cast<size_t>(got);
  }
  return done;
}

// Reads past a frame too long to keep, so the next frame is found.
bool Skip(int fd, uint32_t size) {
  char buffer[65536];
  while (size > 0) {
    const size_t chunk = size < sizeof buffer ? size : sizeof buffer;
    if (ReadFully(fd, buffer, chunk) != chunk) {
      return false;
    }
    size -= static_cast<uint32_t>(chunk);
  }
  return true;
}

bool WriteFully(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return true;
}

std::string Answer(const std::string& body, const DownloadHandoff& handoff) {
  const BrowserMessage message = ParseBrowserMessage(body);
  if (!message.error.empty()) {
    return ErrorAnswer(message.error);
  }
  std::vector<std::string> reasons = handoff(body, message);
  // A link the hand-off said nothing about was not taken.
  reasons.resize(message.downloads.size(), "The link was not taken.");
  return UrlsAnswer(reasons);
}

}  // namespace

std::string NativeFrame(const std::string& text) {
  const uint32_t length = static_cast<uint32_t>(text.size());
  std::string frame(sizeof length, '\0');
  std::memcpy(frame.data(), &length, sizeof length);
  return frame + text;
}

int RunNativeMessagingHost(int input, int output, const DownloadHandoff& handoff) {
  std::signal(SIGPIPE, SIG_IGN);
  for (;;) {
    uint32_t length = 0;
    const size_t got = ReadFully(input, reinterpret_cast<char*>(&length), sizeof length);
    if (got == 0) {
      return 0;
    }
    if (got < sizeof length) {
      WriteFully(output, NativeFrame(ErrorAnswer("The message ends inside its length.")));
      return 1;
    }
    if (length > kMaxNativeFrame) {
      if (!WriteFully(output, NativeFrame(ErrorAnswer("The message is longer than 1 MiB.")))) {
        return 1;
      }
      if (!Skip(input, length)) {
        return 1;
      }
      continue;
    }
    std::string body(length, '\0');
    if (ReadFully(input, body.data(), length) != length) {
      WriteFully(output, NativeFrame(ErrorAnswer("The message ends before its length.")));
      return 1;
    }
    if (!WriteFully(output, NativeFrame(Answer(body, handoff)))) {
      return 1;
    }
  }
}

}  // namespace pellmarsh
