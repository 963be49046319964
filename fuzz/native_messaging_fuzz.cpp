// Any bytes as the browser's side of native messaging: the host ends, answers
// every frame it read with a frame of valid JSON, and hands on only http, https
// and ftp links.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/native_message.h"
#include "capture/native_messaging_host.h"
#include "platform/unique_fd.h"

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool IsWebLink(const std::string& url) {
  std::string lower = url.substr(0, 8);
  for (char& c : lower) {
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return lower.starts_with("http://") || lower.starts_with("https://") ||
         lower.starts_with("ftp://");
}

std::string ReadAll(int fd) {
  std::string bytes(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
  Require(pread(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pellmarsh::UniqueFd in(memfd_create("input", 0));
  pellmarsh::UniqueFd out(memfd_create("output", 0));
  Require(in.valid() && out.valid());
  Require(write(in.get(), data, size) == static_cast<ssize_t>(size));
  lseek(in.get(), 0, SEEK_SET);
  pellmarsh::RunNativeMessagingHost(in.get(), out.get(), [](const std::vector<std::string>& urls) {
    Require(!urls.empty());
    for (const std::string& url : urls) {
      Require(IsWebLink(url));
    }
    return std::vector<std::string>(urls.size());
  });
  const std::string answers = ReadAll(out.get());
  Require(size == 0 || !answers.empty());
  for (size_t pos = 0; pos < answers.size();) {
    uint32_t length = 0;
    Require(answers.size() - pos >= sizeof length);
    std::memcpy(&length, answers.data() + pos, sizeof length);
    pos += sizeof length;
    Require(answers.size() - pos >= length);
    // An answer holds no links, so the reader refuses it for that, not as bad JSON.
    const std::string answer = answers.substr(pos, length);
    Require(pellmarsh::ParseUrlsMessage(answer).error == "The message holds no links.");
    pos += length;
  }
  return 0;
}
