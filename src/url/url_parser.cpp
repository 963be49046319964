#include "url/url_parser.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/socket.h"
#include "store/ascii_case.h"
#include "store/keys.h"
#include "store/number_text.h"

namespace pellmarsh {
namespace {

// A "://" further in is taken as text that merely mentions a URL.
constexpr size_t kLastSchemeEnd = 10;
constexpr int32_t kHighestPort = 65535;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

void ExpandNetworkShortForms(std::string& text) {
  if (StartsWith(text, "www.")) {
    text.insert(0, "http://");
  }
  if (StartsWith(text, "ftp.")) {
    text.insert(0, "ftp://");
  }
}

bool LooksLikeDriveLetter(const std::string& text) {
  return text.find('|') == 1 || text.find(':') == 1;
}

size_t SchemeEnd(const std::string& text) {
  const size_t end = text.find("://");
  return end <= kLastSchemeEnd ? end : std::string::npos;
}

void CutHttpFragment(std::string& text) {
  const size_t hash = text.find('#');
  const size_t slash = text.find('/');
  if (hash != std::string::npos && slash != std::string::npos && hash > slash) {
    text.resize(hash);
  }
}

// The local path keeps its "/" separators: they are this platform's own.
void ParseFileRemainder(std::string path, UrlParts& parts) {
  if (path.size() < 2) {
    parts.SetProp(key::kError, kMalformedUrl);
    return;
  }
  if (path[1] == '|') {
    path[1] = ':';
  }
  parts.SetProp(key::kFullPath, path);
}

// False for anything but the digits of a TCP port: a socket address keeps 16
// bits, so a larger number would connect to another port than the one written.
// An empty port is the scheme's own.
bool ParsePort(std::string_view portText, int32_t defaultPort, UrlParts& parts) {
  if (portText.empty()) {
    return true;
  }
  int32_t value = 0;
  for (const char c : portText) {
    if (c < '0' || c > '9') {
      return false;
    }
    value = value * 10 + (c - '0');
    if (value > kHighestPort) {
      return false;
    }
  }
  if (value == 0) {
    return false;
  }
  if (value != defaultPort) {
    parts.SetPropInt(key::kPort, value);
    parts.SetPropInt(key::kOddPort, 1);
  }
  return true;
}

// "[address]" optionally followed by ":port": the host in its canonical text
// with brackets, the address without, and what follows the "]".
struct BracketedHost {
  std::string host;
  std::string address;
  std::string_view rest;
};

std::optional<BracketedHost> ParseBracketedHost(std::string_view authority) {
  const size_t close = authority.find(']');
  if (close == std::string_view::npos) {
    return std::nullopt;
  }
  SocketAddress parsed;
  if (!ParseIPv6Address(authority.substr(1, close - 1), parsed)) {
    return std::nullopt;
  }
  const std::string_view rest = authority.substr(close + 1);
  if (!rest.empty() && rest.front() != ':') {
    return std::nullopt;
  }
  const std::string address = AddressText(parsed);
  return BracketedHost{"[" + address + "]", address, rest};
}

void ParseNetworkRemainder(const std::string& remainder, int32_t defaultPort, UrlParts& parts) {
  parts.SetPropInt(key::kPort, defaultPort);

  const size_t pathStart = remainder.find('/');
  std::string_view authority = std::string_view(remainder).substr(0, pathStart);
  // The host goes into request lines as it is (Host, a proxy's CONNECT), and
  // the login into FTP's commands.
  if (HoldsControlCharacter(authority)) {
    parts.SetProp(key::kError, kControlCharacterInUrl);
    return;
  }
  const std::string fullPath =
      pathStart == std::string::npos ? std::string("/") : remainder.substr(pathStart);

  // The last "@" ends the user part: a password may itself hold an "@" (an
  // e-mail address for anonymous FTP), a host name never does.
  std::string_view user;
  std::string_view password;
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view userPart = authority.substr(0, at);
    authority.remove_prefix(at + 1);
    const size_t colon = userPart.find(':');
    user = userPart.substr(0, colon);
    if (colon != std::string_view::npos) {
      password = userPart.substr(colon + 1);
    }
  }
  parts.SetProp(key::kUserId, user);
  parts.SetProp(key::kPassword, password);

  std::string host(authority);
  if (!authority.empty() && authority.front() == '[') {
    // An IPv6 literal keeps its colons inside the brackets; the host name
    // is its canonical form, so that equal addresses compare equal.
    const std::optional<BracketedHost> literal = ParseBracketedHost(authority);
    if (!literal) {
      parts.SetProp(key::kError, kBadIPv6Literal);
      return;
    }
    host = literal->host;
    parts.SetProp(key::kHostAddr, literal->address);
    authority = literal->rest;
  } else if (const size_t colon = authority.find(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
  }
  if (const size_t colon = authority.find(':');
      colon != std::string_view::npos &&
      !ParsePort(authority.substr(colon + 1), defaultPort, parts)) {
    parts.SetProp(key::kError, kMalformedUrl);
    return;
  }
  if (host.empty()) {
    parts.SetProp(key::kError, kIncompleteUrl);
    return;
  }
  if (host[0] >= '0' && host[0] <= '9') {
    parts.SetProp(key::kHostAddr, host);
  }
  parts.SetProp(key::kHostName, host);

  parts.SetProp(key::kFullPath, fullPath);
  const size_t lastSlash = fullPath.rfind('/');
  std::string file = fullPath.substr(lastSlash + 1);
  for (const char cut : {'?', '*', '\\', '&'}) {
    if (const size_t at = file.find(cut); at != std::string::npos) {
      file.resize(at);
    }
  }
  parts.SetProp(key::kPath, std::string_view(fullPath).substr(0, lastSlash));
  parts.SetProp(key::kFile, file);
  if (const size_t dot = file.rfind('.'); dot != std::string::npos) {
    parts.SetProp(key::kExtension, AsciiUpper(file.substr(dot + 1)));
  }
}

}  // namespace

std::unique_ptr<UrlParts> ParseUrl(std::string& text) {
  auto parts = std::make_unique<UrlParts>();
  ExpandNetworkShortForms(text);
  if (LooksLikeDriveLetter(text)) {
    text.insert(0, "file://");
  }
  const size_t schemeEnd = SchemeEnd(text);
  if (schemeEnd == std::string::npos) {
    parts->SetProp(key::kError, kMalformedUrl);
    return parts;
  }
  const std::string scheme = AsciiLower(text.substr(0, schemeEnd));
  parts->SetProp(key::kProtocol, scheme);

  int32_t defaultPort = 0;
  if (IsHttpScheme(scheme)) {
    defaultPort = scheme == "https" ? 443 : 80;
    CutHttpFragment(text);
  } else if (scheme == "ftp") {
    defaultPort = 21;
  } else if (scheme != "file") {
    parts->SetProp(key::kError, "Unsupported protocol: " + scheme);
    return parts;
  }
  text.erase(0, schemeEnd + 3);
  if (scheme == "file") {
    ParseFileRemainder(text, *parts);
  } else {
    ParseNetworkRemainder(text, defaultPort, *parts);
  }
  return parts;
}

std::unique_ptr<UrlParts> ParseUrlCopy(std::string text) {
  return ParseUrl(text);
}

std::string ExpandTypedUrl(std::string text) {
  ExpandNetworkShortForms(text);
  if (!text.empty() && !LooksLikeDriveLetter(text) && SchemeEnd(text) == std::string::npos) {
    text.insert(0, "http://");
  }
  return text;
}

bool HoldsControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), IsControlCharacter);
}

std::optional<std::string> DecodePercentEscapes(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '%') {
      decoded += text[at];
      continue;
    }
    const int high = text.size() - at > 2 ? HexDigitValue(text[at + 1]) : -1;
    const int low = high < 0 ? -1 : HexDigitValue(text[at + 2]);
    if (low < 0) {
      return std::nullopt;
    }
    decoded += static_cast<char>(high * 16 + low);
    at += 2;
  }
  return decoded;
}

bool SameServer(const UrlParts& a, const UrlParts& b) {
  return a.GetProp(key::kProtocol) == b.GetProp(key::kProtocol) &&
         NamesEqual(a.GetProp(key::kHostName), b.GetProp(key::kHostName)) &&
         a.GetProp(key::kPort) == b.GetProp(key::kPort);
}

bool IsHttpScheme(std::string_view scheme) {
  return scheme == "http" || scheme == "https";
}

bool IsUrl(std::string& text) {
  std::string expanded = text;
  ExpandNetworkShortForms(expanded);
  if (SchemeEnd(expanded) == std::string::npos) {
    return false;
  }
  text = std::move(expanded);
  return true;
}

std::string FormatUrl(const UrlParts& parts) {
  std::string url = parts.GetProp(key::kProtocol) + "://" + parts.GetProp(key::kHostName);
  if (parts.GetPropInt(key::kOddPort) != 0) {
    url += ":" + FormatInteger(parts.GetPropInt(key::kPort));
  }
  return url + parts.GetProp(key::kFullPath);
}

}  // namespace pellmarsh
