#include "url/cookies.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <utility>

#include "platform/socket.h"
#include "store/ascii_case.h"
#include "store/calendar.h"
#include "store/item.h"
#include "store/keys.h"
#include "store/number_text.h"

namespace pellmarsh {
namespace {

constexpr int64_t kEarliest = std::numeric_limits<int64_t>::min();
constexpr int64_t kLatest = std::numeric_limits<int64_t>::max();

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsWhitespace(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimWhitespace(std::string_view text) {
  while (!text.empty() && IsWhitespace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsWhitespace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// A tab is allowed inside a header value; any other control byte is not.
bool HoldsHeaderControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return IsControlCharacter(c) && c != '\t'; });
}

// A URL's IPv6 literal keeps its brackets; a dotted address may be in any
// form the resolver reads ("127.1").
bool IsIpAddress(std::string_view host) {
  uint32_t ignored = 0;
  return host.find_first_of("[:") != std::string_view::npos || ParseDottedAddress(host, ignored);
}

bool IsExpired(const Cookie& cookie, int64_t now) {
  return cookie.expiry != 0 && cookie.expiry <= now;
}

// 0 means a session cookie; the epoch itself is long past either way, and
// "Thu, 01 Jan 1970 00:00:00 GMT" is how many servers delete a cookie.
int64_t ExpiryAt(int64_t when) {
  return when == 0 ? -1 : when;
}

// 1 to `most` digits at the front of `text` followed by its end or a
// non-digit, as the cookie-date grammar's fields are; they are taken off.
std::optional<int> TakeDigits(std::string_view& text, size_t fewest, size_t most) {
  int value = 0;
  size_t count = 0;
  for (; count < text.size() && IsDigit(text[count]); ++count) {
    if (count == most) {
      return std::nullopt;
    }
    value = value * 10 + (text[count] - '0');
  }
  if (count < fewest) {
    return std::nullopt;
  }
  text.remove_prefix(count);
  return value;
}

using TimeOfDay = std::array<int, 3>;

std::optional<TimeOfDay> TimeToken(std::string_view token) {
  TimeOfDay time{};
  for (size_t field = 0; field < time.size(); ++field) {
    if (field > 0) {
      if (token.empty() || token.front() != ':') {
        return std::nullopt;
      }
      token.remove_prefix(1);
    }
    const std::optional<int> value = TakeDigits(token, 1, 2);
    if (!value) {
      return std::nullopt;
    }
    time[field] = *value;
  }
  return time;
}

// A day of the month (1 or 2 digits) or a year (2 to 4), with anything after.
std::optional<int> NumberToken(std::string_view token, size_t fewest, size_t most) {
  return TakeDigits(token, fewest, most);
}

std::optional<int> MonthToken(std::string_view token) {
  return token.size() < 3 ? std::nullopt : MonthFromAbbreviation(token.substr(0, 3));
}

bool IsDateDelimiter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte == 0x09 || (byte >= 0x20 && byte <= 0x2f) || (byte >= 0x3b && byte <= 0x40) ||
         (byte >= 0x5b && byte <= 0x60) || (byte >= 0x7b && byte <= 0x7e);
}

// Section 5.1.1: servers write Expires in more forms than an HTTP date has,
// so the date is read from whichever tokens look like its parts. Nothing
// when a part is missing or the moment does not exist.
std::optional<int64_t> ParseCookieDate(std::string_view text) {
  std::optional<TimeOfDay> time;
  std::optional<int> day;
  std::optional<int> month;
  std::optional<int> year;
  size_t at = 0;
  while (at < text.size()) {
    const size_t start = at;
    while (at < text.size() && !IsDateDelimiter(text[at])) {
      ++at;
    }
    const std::string_view token = text.substr(start, at - start);
    while (at < text.size() && IsDateDelimiter(text[at])) {
      ++at;
    }
    if (token.empty()) {
      continue;
    }
    // Each token fills the first part it fits that is still missing.
    if (!time && (time = TimeToken(token))) {
      continue;
    }
    if (!day && (day = NumberToken(token, 1, 2))) {
      continue;
    }
    if (!month && (month = MonthToken(token))) {
      continue;
    }
    if (!year) {
      year = NumberToken(token, 2, 4);
    }
  }
  if (!time || !day || !month || !year) {
    return std::nullopt;
  }
  if (*year >= 70 && *year <= 99) {
    *year += 1900;
  } else if (*year <= 69) {
    *year += 2000;
  }
  const auto [hour, minute, second] = *time;
  if (*year < 1601 || *day < 1 || *day > DaysInMonth(*year, *month) || hour > 23 || minute > 59 ||
      second > 59) {
    return std::nullopt;
  }
  return UtcSeconds(*year, *month, *day, hour, minute, second);
}

// Section 5.2.2: an optional minus and digits, nothing else.
std::optional<int64_t> MaxAgeExpiry(std::string_view value, int64_t now) {
  const std::string_view digits = value.starts_with('-') ? value.substr(1) : value;
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsDigit)) {
    return std::nullopt;
  }
  const int64_t seconds = ParseLeadingInteger(value);
  if (seconds <= 0) {
    return kEarliest;
  }
  return ExpiryAt(now > 0 && seconds > kLatest - now ? kLatest : now + seconds);
}

// The request's path without its query: what cookie paths are matched with.
std::string_view UriPath(const std::string& fullPath) {
  return std::string_view(fullPath).substr(0, fullPath.find('?'));
}

// Section 5.1.4's default-path: the request path's directory.
std::string_view DefaultPath(std::string_view uriPath) {
  const size_t lastSlash = uriPath.rfind('/');
  if (!uriPath.starts_with('/') || lastSlash == 0) {
    return "/";
  }
  return uriPath.substr(0, lastSlash);
}

// The attributes of section 5.2 as 5.3 reads them: the last of each name wins.
struct CookieAttributes {
  std::optional<int64_t> expires;
  std::optional<int64_t> maxAge;
  std::optional<std::string> domain;
  std::optional<std::string> path;
  bool secure = false;
  bool httpOnly = false;
};

void ReadAttribute(std::string_view attribute, std::string_view defaultPath, int64_t now,
                   CookieAttributes& read) {
  const size_t equals = attribute.find('=');
  const std::string_view name = TrimWhitespace(attribute.substr(0, equals));
  const std::string_view value = equals == std::string_view::npos
                                     ? std::string_view()
                                     : TrimWhitespace(attribute.substr(equals + 1));
  if (NamesEqual(name, "expires")) {
    if (const std::optional<int64_t> when = ParseCookieDate(value)) {
      read.expires = ExpiryAt(*when);
    }
  } else if (NamesEqual(name, "max-age")) {
    if (const std::optional<int64_t> when = MaxAgeExpiry(value, now)) {
      read.maxAge = when;
    }
  } else if (NamesEqual(name, "domain")) {
    if (!value.empty()) {
      read.domain = AsciiLower(value.starts_with('.') ? value.substr(1) : value);
    }
  } else if (NamesEqual(name, "path")) {
    read.path = value.starts_with('/') ? value : defaultPath;
  } else if (NamesEqual(name, "secure")) {
    read.secure = true;
  } else if (NamesEqual(name, "httponly")) {
    read.httpOnly = true;
  }
}

// Section 5.3 steps 4 to 6 for a cookie from `host`. Without a public suffix
// list, a Domain without a dot (such as "com") or naming an IP address is
// taken only as the host itself, as the RFC takes a public suffix: else one
// server could set cookies for a whole top-level domain.
bool SetDomain(Cookie& cookie, std::optional<std::string> domain, const std::string& host) {
  if (domain && !domain->empty() &&
      (domain->find('.') == std::string::npos || IsIpAddress(*domain))) {
    if (*domain != host) {
      return false;
    }
    domain.reset();
  }
  if (domain && !domain->empty()) {
    if (!DomainMatches(host, *domain)) {
      return false;
    }
    cookie.hostOnly = false;
    cookie.domain = std::move(*domain);
  } else {
    cookie.hostOnly = true;
    cookie.domain = host;
  }
  return true;
}

void DropOldest(CookieJar& jar) {
  if (jar.size() > kMostCookies) {
    jar.erase(jar.begin(), jar.end() - static_cast<std::ptrdiff_t>(kMostCookies));
  }
}

constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr size_t kJarFields = 6;
constexpr std::string_view kFlagLetters = "hso";

bool IsStoredAsItIs(char c) {
  return c > ' ' && c < 0x7f && c != '%';
}

void AppendEscaped(std::string& text, std::string_view field) {
  for (const char c : field) {
    if (IsStoredAsItIs(c)) {
      text += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      text += '%';
      text += kHexDigits[byte >> 4];
      text += kHexDigits[byte & 0x0f];
    }
  }
}

std::optional<std::string> Unescaped(std::string_view field) {
  if (!std::all_of(field.begin(), field.end(), [](char c) { return c > ' ' && c < 0x7f; })) {
    return std::nullopt;
  }
  return DecodePercentEscapes(field);
}

std::optional<Cookie> ReadJarLine(std::string_view line) {
  std::array<std::string, kJarFields> fields;
  for (size_t index = 0; index < kJarFields; ++index) {
    const size_t end = index + 1 < kJarFields ? line.find(' ') : line.size();
    if (end == std::string_view::npos) {
      return std::nullopt;
    }
    std::optional<std::string> field = Unescaped(line.substr(0, end));
    if (!field) {
      return std::nullopt;
    }
    fields[index] = std::move(*field);
    line.remove_prefix(std::min(end + 1, line.size()));
  }
  const std::string& flags = fields[2];
  const std::string& expiry = fields[3];
  if (flags.size() != kFlagLetters.size()) {
    return std::nullopt;
  }
  for (size_t at = 0; at < flags.size(); ++at) {
    if (flags[at] != kFlagLetters[at] && flags[at] != '-') {
      return std::nullopt;
    }
  }
  Cookie cookie;
  cookie.name = std::move(fields[4]);
  cookie.value = std::move(fields[5]);
  cookie.domain = std::move(fields[0]);
  cookie.path = std::move(fields[1]);
  cookie.hostOnly = flags[0] != '-';
  cookie.secure = flags[1] != '-';
  cookie.httpOnly = flags[2] != '-';
  const char* const end = expiry.data() + expiry.size();
  const auto [stop, error] = std::from_chars(expiry.data(), end, cookie.expiry);
  if (expiry.empty() || error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return cookie;
}

}  // namespace

std::optional<Cookie> ParseSetCookie(std::string_view value, const UrlParts& request, int64_t now) {
  if (value.size() > kLongestSetCookie || HoldsHeaderControl(value)) {
    return std::nullopt;
  }
  const size_t pairEnd = value.find(';');
  const std::string_view pair = value.substr(0, pairEnd);
  const size_t equals = pair.find('=');
  if (equals == std::string_view::npos) {
    return std::nullopt;
  }
  Cookie cookie;
  cookie.name = TrimWhitespace(pair.substr(0, equals));
  cookie.value = TrimWhitespace(pair.substr(equals + 1));
  const std::string host = AsciiLower(request.GetProp(key::kHostName));
  if (cookie.name.empty() || host.empty()) {
    return std::nullopt;
  }

  const std::string fullPath = request.GetProp(key::kFullPath);
  const std::string_view defaultPath = DefaultPath(UriPath(fullPath));
  CookieAttributes attributes;
  for (size_t end = pairEnd; end != std::string_view::npos;) {
    const size_t start = end + 1;
    end = value.find(';', start);
    ReadAttribute(value.substr(start, end == std::string_view::npos ? end : end - start),
                  defaultPath, now, attributes);
  }

  cookie.expiry = attributes.maxAge.value_or(attributes.expires.value_or(0));
  if (!SetDomain(cookie, std::move(attributes.domain), host)) {
    return std::nullopt;
  }
  cookie.path = attributes.path.value_or(std::string(defaultPath));
  cookie.secure = attributes.secure;
  cookie.httpOnly = attributes.httpOnly;
  // A tab in a Path attribute, or a control byte in the request's own path,
  // would make a path that no request sent can match.
  if (HoldsControlCharacter(cookie.domain) || HoldsControlCharacter(cookie.path)) {
    return std::nullopt;
  }
  return cookie;
}

void StoreCookie(CookieJar& jar, Cookie cookie, int64_t now) {
  const auto same = std::find_if(jar.begin(), jar.end(), [&cookie](const Cookie& stored) {
    return stored.name == cookie.name && stored.domain == cookie.domain &&
           stored.path == cookie.path;
  });
  if (same != jar.end()) {
    *same = std::move(cookie);
  } else {
    jar.push_back(std::move(cookie));
  }
  std::erase_if(jar, [now](const Cookie& stored) { return IsExpired(stored, now); });
  DropOldest(jar);
}

std::string CookieHeaderFor(const CookieJar& jar, const UrlParts& request, int64_t now) {
  const std::string host = request.GetProp(key::kHostName);
  const std::string fullPath = request.GetProp(key::kFullPath);
  const std::string_view path = UriPath(fullPath);
  const bool overTls = request.GetProp(key::kProtocol) == "https";
  std::vector<const Cookie*> going;
  for (const Cookie& cookie : jar) {
    if (!IsExpired(cookie, now) &&
        (cookie.hostOnly ? NamesEqual(host, cookie.domain) : DomainMatches(host, cookie.domain)) &&
        PathMatches(path, cookie.path) && (overTls || !cookie.secure) &&
        !HoldsHeaderControl(cookie.name) && !HoldsHeaderControl(cookie.value)) {
      going.push_back(&cookie);
    }
  }
  std::stable_sort(going.begin(), going.end(), [](const Cookie* a, const Cookie* b) {
    return a->path.size() > b->path.size();
  });
  std::string header;
  for (const Cookie* cookie : going) {
    if (cookie != going.front()) {
      header += "; ";
    }
    header += cookie->name + "=" + cookie->value;
  }
  return header;
}

bool DomainMatches(std::string_view host, std::string_view domain) {
  if (host.size() <= domain.size()) {
    return NamesEqual(host, domain);
  }
  const size_t dot = host.size() - domain.size() - 1;
  return host[dot] == '.' && NamesEqual(host.substr(dot + 1), domain) && !IsIpAddress(host);
}

bool PathMatches(std::string_view requestPath, std::string_view cookiePath) {
  return requestPath.starts_with(cookiePath) &&
         (requestPath.size() == cookiePath.size() || cookiePath.ends_with('/') ||
          requestPath[cookiePath.size()] == '/');
}

std::string FormatCookieJar(const CookieJar& jar) {
  std::string text;
  for (const Cookie& cookie : jar) {
    AppendEscaped(text, cookie.domain);
    text += ' ';
    AppendEscaped(text, cookie.path);
    text += ' ';
    text += cookie.hostOnly ? kFlagLetters[0] : '-';
    text += cookie.secure ? kFlagLetters[1] : '-';
    text += cookie.httpOnly ? kFlagLetters[2] : '-';
    text += ' ' + FormatInteger(cookie.expiry) + ' ';
    AppendEscaped(text, cookie.name);
    text += ' ';
    AppendEscaped(text, cookie.value);
    text += '\n';
  }
  return text;
}

CookieJar ParseCookieJar(std::string_view text) {
  CookieJar jar;
  for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
    std::optional<Cookie> cookie = ReadJarLine(text.substr(0, end));
    if (!cookie) {
      break;
    }
    jar.push_back(std::move(*cookie));
    text.remove_prefix(end + 1);
  }
  DropOldest(jar);
  return jar;
}

}  // namespace pellmarsh
