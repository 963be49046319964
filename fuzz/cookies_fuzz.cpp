// Any bytes as a request URL (the first line) and the Set-Cookie values
// answering it (each line after): parsing must not crash or hang; a cookie
// scopes itself to the request's host with a domain and path free of control
// bytes; the jar built from them survives being stored as text; and no
// Cookie header carries a line break. The same bytes as a stored jar must
// read, store again unchanged and give a header without one either, on a
// request to any of its cookies' own domain and path.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "store/ascii_case.h"
#include "store/keys.h"
#include "url/cookies.h"
#include "url/url_parser.h"

namespace {

using pellmarsh::Cookie;
using pellmarsh::CookieJar;
using pellmarsh::key;

constexpr int64_t kNow = 1600000000;

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

void CheckHeader(const CookieJar& jar, const pellmarsh::UrlParts& request) {
  for (const int64_t now : {kNow, kNow + 86400}) {
    const std::string header = pellmarsh::CookieHeaderFor(jar, request, now);
    Require(header.find_first_of("\r\n") == std::string::npos);
  }
}

void CheckStoredText(const CookieJar& jar) {
  const std::string text = pellmarsh::FormatCookieJar(jar);
  Require(pellmarsh::ParseCookieJar(text) == jar);
  for (const char c : text) {
    Require(c == '\n' || (c >= ' ' && c < 0x7f));
  }
}

void CheckSetCookie(std::string_view line, const pellmarsh::UrlParts& request, CookieJar& jar) {
  const std::optional<Cookie> cookie = pellmarsh::ParseSetCookie(line, request, kNow);
  if (!cookie) {
    return;
  }
  const std::string host = pellmarsh::AsciiLower(request.GetProp(key::kHostName));
  Require(!cookie->name.empty() && cookie->domain == pellmarsh::AsciiLower(cookie->domain));
  Require(!pellmarsh::HoldsControlCharacter(cookie->domain) &&
          !pellmarsh::HoldsControlCharacter(cookie->path));
  Require(cookie->hostOnly ? cookie->domain == host
                           : pellmarsh::DomainMatches(host, cookie->domain));
  pellmarsh::StoreCookie(jar, *cookie, kNow);
  Require(jar.size() <= pellmarsh::kMostCookies);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t urlEnd = input.find('\n');
  auto request = pellmarsh::ParseUrlCopy(std::string(input.substr(0, urlEnd)));
  if (!request->GetProp(key::kError).empty() || request->GetProp(key::kHostName).empty()) {
    request = pellmarsh::ParseUrlCopy("http://www.example.com/docs/index.html");
  }
  CookieJar jar;
  for (size_t end = urlEnd; end != std::string_view::npos;) {
    const size_t start = end + 1;
    end = input.find('\n', start);
    CheckSetCookie(input.substr(start, end == std::string_view::npos ? end : end - start), *request,
                   jar);
  }
  CheckStoredText(jar);
  CheckHeader(jar, *request);

  const CookieJar stored = pellmarsh::ParseCookieJar(input);
  CheckStoredText(stored);
  for (const Cookie& cookie : stored) {
    const auto own = pellmarsh::ParseUrlCopy("https://" + cookie.domain + cookie.path);
    if (own->GetProp(key::kError).empty()) {
      CheckHeader(stored, *own);
    }
  }
  return 0;
}
