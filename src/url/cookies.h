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

  friend bool operator==(const Cookie&, const Cookie&) = default;
};

// A download's cookies: the browser's when it handed the link over, updated by
// the Set-Cookie answers of the download's own requests.
using CookieJar = std::vector<Cookie>;

// RFC 6265 section 6.1 asks a user agent to keep at least 50 cookies for one
// domain. A download talks to a few hosts of one site, so that many keep any
// site working, and the jar, saved with the item, stays small.
inline constexpr size_t kMostCookies = 50;

// A Set-Cookie value received for `request` at `now` as the RFC's section 5.2
// parses it and 5.3 accepts it; nothing when a user agent ignores it. A value
// of more than kLongestSetCookie bytes is ignored whole, and so is one holding
// a control byte other than a tab: it has no place in a header. A cookie
// already expired at `now` comes back too, as storing it removes the one it
// replaces. A Secure cookie set over plain http is kept as RFC 6265 keeps it:
// the flag says where it may go, and the header still sends it over https only.
inline constexpr size_t kLongestSetCookie = 8192;
std::optional<Cookie> ParseSetCookie(std::string_view value, const UrlParts& request, int64_t now);

// Stores a cookie as section 5.3 step 11 does: one of the same name, domain
// and path is replaced in its place, so it keeps its creation order; an
// expired one only removes its old one. Cookies expired at `now` leave the
// jar, and beyond kMostCookies the oldest go.
void StoreCookie(CookieJar& jar, Cookie cookie, int64_t now);

// The Cookie header value for a request (section 5.4): the cookies whose
// domain and path match the request, secure ones over https only, none
// expired at `now`, longer paths first, then in creation order. Empty when
// none goes. A cookie whose name or value holds a control byte other than a
// tab never goes.
std::string CookieHeaderFor(const CookieJar& jar, const UrlParts& request, int64_t now);

// Section 5.1.3, with the host and domain in any case; an IP address host
// (dotted, in the forms the resolver reads, or an IPv6 literal) matches
// itself only.
bool DomainMatches(std::string_view host, std::string_view domain);
// Section 5.1.4; the request's path without its query.
bool PathMatches(std::string_view requestPath, std::string_view cookiePath);

// The jar as an item property and back. One line a cookie, ended by a line
// feed, with six fields between single spaces:
//   domain path flags expiry name value
// flags are three characters, 'h' (host-only), 's' (Secure) and 'o'
// (HttpOnly) each in its place or '-' there; expiry is decimal. In the other
// fields every byte outside '!' to '~', and '%' itself, is written "%XX", so
// that the text stays printable and any byte survives. A line that
// does not read, or lacks its line feed, ends the reading: the cookies read
// before it are kept. Beyond kMostCookies the oldest are dropped.
std::string FormatCookieJar(const CookieJar& jar);
CookieJar ParseCookieJar(std::string_view text);

}  // namespace pellmarsh
