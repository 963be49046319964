#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pellmarsh {

// One cookie as the browser's cookies API describes it. `domain` is the
// browser's own text: a leading dot marks one sent to subdomains too.
struct BrowserCookie {
  std::string name;
  std::string value;
  std::string domain;
  std::string path;
  bool secure = false;
  bool httpOnly = false;
  bool hostOnly = false;
  int64_t expiry = 0;  // whole seconds since 1970; 0 for a session cookie

  bool operator==(const BrowserCookie&) const = default;
};

// One link the browser hands over with what it knows of it; every member but
// `url` may be empty.
struct HandedDownload {
  std::string url;
  std::string finalUrl;  // where the browser's redirects led
  std::string referrer;
  std::string userAgent;
  std::string filename;  // the name the browser would have saved under
  int64_t size = -1;     // bytes; -1 when the browser does not know
  std::vector<BrowserCookie> cookies;

  bool operator==(const HandedDownload&) const = default;
};

// What the browser extension asks, as downloads whichever form it took.
struct BrowserMessage {
  std::vector<HandedDownload> downloads;
  // "confirm": true asks the host to answer only once the program heard each
  // download's server start sending it, so that the browser gives its own
  // download up only then.
  bool confirm = false;
  std::string error;  // why the message was refused; empty when it was read
};

// What one message may hold; a message past any bound is refused whole.
inline constexpr size_t kMostHandedDownloads = 1000;
inline constexpr size_t kMostHandedCookies = 100;  // of one download
// A download's cookies as one Cookie header: "name=value" joined by "; ".
inline constexpr size_t kLongestHandedCookieHeader = 8192;
// A cookie's domain or path; browsers keep no longer attribute either.
inline constexpr size_t kLongestCookieAttribute = 1024;
inline constexpr size_t kLongestHandedUrl = 8192;  // url, finalUrl and referrer each
inline constexpr size_t kLongestHandedUserAgent = 512;
inline constexpr size_t kLongestHandedFilename = 255;
inline constexpr int64_t kLatestCookieExpiry = 253402300799;  // the last second of 9999

// Reads {"urls":["...", ...]} (downloads with only `url` set) or
// {"downloads":[{"url":"...", "finalUrl":"...", "referrer":"...",
// "userAgent":"...", "filename":"...", "size":N, "cookies":[{"name":"...",
// "value":"...", "domain":"...", "path":"...", "secure":B, "httpOnly":B,
// "hostOnly":B, "expirationDate":SECONDS}, ...]}, ...]}. Strict JSON (RFC 8259,
// UTF-8, nesting at most 64 deep); members it does not know are ignored, so a
// later extension can say more to an older host. Refuses a message holding
// both forms or neither, no link, a member twice, a member of the wrong type,
// a value past its bound, a url, finalUrl or non-empty referrer that
// RefusedUrlReason refuses, a control character in any text, ';' in a
// cookie's name or value or a blank in its domain or path; a refused message
// adds nothing.
BrowserMessage ParseBrowserMessage(std::string_view json);

// Why one URL may not go on; empty when it may.
std::string RefusedUrlReason(const std::string& url);

// The answer to one message: {"ok":true,"added":N} when every URL was taken,
// else {"ok":false,"error":"...","added":N} with the first reason given.
std::string UrlsAnswer(const std::vector<std::string>& reasons);
std::string ErrorAnswer(std::string_view error);

}  // namespace pellmarsh
