#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pellmarsh {

// What the browser extension asks: {"urls":["...", ...]}. Other members are
// allowed and ignored, so a later extension can say more to an older host.
struct UrlsMessage {
  std::vector<std::string> urls;
  std::string error;  // why the message was refused; empty when it was read
};

// Strict JSON (RFC 8259, UTF-8, nesting at most 64 deep); refuses a message
// whose "urls" is missing, empty or holds anything but strings, and one whose
// URLs are not all http, https or ftp links that parse, so a refused message
// adds nothing.
UrlsMessage ParseUrlsMessage(std::string_view json);

// Why one URL may not go on; empty when it may.
std::string RefusedUrlReason(const std::string& url);

// The answer to one message: {"ok":true,"added":N} when every URL was taken,
// else {"ok":false,"error":"...","added":N} with the first reason given.
std::string UrlsAnswer(const std::vector<std::string>& reasons);
std::string ErrorAnswer(std::string_view error);

}  // namespace pellmarsh
