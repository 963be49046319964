// Any bytes as the browser's side of native messaging: the host ends, answers
// every frame it read with a frame of valid JSON, and hands on only http, https
// and ftp links; every download a frame's message gives keeps within its bounds.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
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

bool HoldsControlOr(const std::string& text, std::string_view characters) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f ||
        characters.find(c) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

bool IsTakenLink(const std::string& url) {
  return url.size() <= pellmarsh::kLongestHandedUrl && pellmarsh::RefusedUrlReason(url).empty();
}

void CheckCookies(const std::vector<pellmarsh::BrowserCookie>& cookies) {
  Require(cookies.size() <= pellmarsh::kMostHandedCookies);
  std::string header;
  for (const pellmarsh::BrowserCookie& cookie : cookies) {
    header += (header.empty() ? "" : "; ") + cookie.name + "=" + cookie.value;
    Require(!HoldsControlOr(cookie.name, ";") && !HoldsControlOr(cookie.value, ";"));
    Require(!HoldsControlOr(cookie.domain, " ") && !HoldsControlOr(cookie.path, " "));
    Require(cookie.domain.size() <= pellmarsh::kLongestCookieAttribute &&
            cookie.path.size() <= pellmarsh::kLongestCookieAttribute);
    Require(cookie.expiry >= 0 && cookie.expiry <= pellmarsh::kLatestCookieExpiry);
  }
  Require(header.size() <= pellmarsh::kLongestHandedCookieHeader);
}

void CheckMessage(std::string_view body) {
  const pellmarsh::BrowserMessage message = pellmarsh::ParseBrowserMessage(body);
  Require(message.error.empty() != message.downloads.empty());
  Require(message.downloads.size() <= pellmarsh::kMostHandedDownloads);
  for (const pellmarsh::HandedDownload& download : message.downloads) {
    Require(IsTakenLink(download.url));
    Require(download.finalUrl.empty() || IsTakenLink(download.finalUrl));
    Require(download.referrer.empty() || IsTakenLink(download.referrer));
    Require(download.userAgent.size() <= pellmarsh::kLongestHandedUserAgent &&
            !HoldsControlOr(download.userAgent, ""));
    Require(download.filename.size() <= pellmarsh::kLongestHandedFilename &&
            !HoldsControlOr(download.filename, ""));
    Require(download.size >= -1);
    CheckCookies(download.cookies);
  }
}

// The frames of `bytes`, each its length and then that many bytes; false when
// the bytes do not end where a frame does.
bool Frames(std::string_view bytes, std::vector<std::string_view>& frames) {
  size_t pos = 0;
  while (bytes.size() - pos >= sizeof(uint32_t)) {
    uint32_t length = 0;
    std::memcpy(&length, bytes.data() + pos, sizeof length);
    pos += sizeof length;
    if (bytes.size() - pos < length) {
      return false;
    }
    frames.push_back(bytes.substr(pos, length));
    pos += length;
  }
  return pos == bytes.size();
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
  pellmarsh::RunNativeMessagingHost(
      in.get(), out.get(), [](const std::string&, const pellmarsh::BrowserMessage& message) {
        Require(!message.downloads.empty());
        for (const pellmarsh::HandedDownload& download : message.downloads) {
          Require(IsWebLink(download.url));
        }
        return std::vector<std::string>(message.downloads.size());
      });
  const std::string answers = ReadAll(out.get());
  Require(size == 0 || !answers.empty());
  std::vector<std::string_view> frames;
  Require(Frames(answers, frames));
  for (const std::string_view answer : frames) {
    // An answer holds no links, so the reader refuses it for that, not as bad JSON.
    Require(pellmarsh::ParseBrowserMessage(answer).error == "The message holds no links.");
  }
  frames.clear();
  Frames(std::string_view(reinterpret_cast<const char*>(data), size), frames);
  for (const std::string_view body : frames) {
    CheckMessage(body);
  }
  return 0;
}
