#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "url/url_parser.h"

namespace pellmarsh {

// One cookie of a download (RFC 6265 section 5.3's storage model, without
// the creation and access times a download does not need: the jar keeps its
// cookies in creation order).
struct Cookie {
  std::string name;
  std::string value;
  std::string domain;  // lower case, no leading dot
  std::string path;
  bool hostOnly = true;  // sent to `domain` itself only, not to its subdomains
  bool secure = false;
  bool httpOnly = false;
  int64_t expiry = 0;  // seconds since 1970; 0 for a cookie that lasts the session
};

// A download's cookies: the browser's when it handed the link over, updated by
// the Set-Cookie answers of the download's own requests.
using CookieJar = std::vector<Cookie>;

// A Set-Cookie value received for `request` at `now` as the RFC's section 5.2
// parses it and 5.3 accepts it; nothing when a user agent ignores it. A value
// of more than kLongestSetCookie bytes is ignored whole.
inline constexpr size_t kLongestSetCookie = 8192;
std::optional<Cookie> ParseSetCookie(std::string_view value, const UrlParts& request, int64_t now);

// Stores a cookie as section 5.3 step 11 does: one of the same name, domain
// and path is replaced; an expired one only removes its old one.
void StoreCookie(CookieJar& jar, Cookie cookie, int64_t now);

// The Cookie header value for a request (section 5.4): the cookies whose
// domain and path match the request, secure ones over https only, none
// expired at `now`, longer paths first, then in creation order. Empty when
// none goes.
std::string CookieHeaderFor(const CookieJar& jar, const UrlParts& request, int64_t now);

bool DomainMatches(std::string_view host, std::string_view domain);
bool PathMatches(std::string_view requestPath, std::string_view cookiePath);

// The jar as an item property and back; a text that does not read gives the
// cookies read before it.
std::string FormatCookieJar(const CookieJar& jar);
CookieJar ParseCookieJar(std::string_view text);

}  // namespace pellmarsh
