#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "store/item.h"

namespace pellmarsh {

// The parts of one URL as named text properties ("protocol", "hostname",
// "hostaddr", "port", "oddport", "userid", "password", "fullpath", "path",
// "file", "extension"); a non-empty "error" means the text did not parse and
// the other parts are incomplete. It belongs to no folder. An IPv6 literal's
// "hostname" is its canonical text in brackets ("[2001:db8::1]"), as a URL
// and a Host header write it; its "hostaddr" is the same without them.
using UrlParts = Item;

inline constexpr const char* kMalformedUrl = "Malformed URL";
inline constexpr const char* kIncompleteUrl = "Incomplete URL";
inline constexpr const char* kBadIPv6Literal = "Malformed IPv6 address in URL";
inline constexpr const char* kControlCharacterInUrl = "Control character in URL";

// Splits http, https, ftp and file URLs, accepting the typed short forms
// ("www.", "ftp." and a drive letter with ":" or "|"). The text is rewritten:
// it keeps the part after "://" for those schemes (for http and https without
// the fragment), even when a later step fails, and the short-form expansion
// otherwise. A port is digits naming 1 to 65535 (empty: the scheme's own),
// any other makes the URL malformed; a control character before the path
// fails it with kControlCharacterInUrl.
// Callers that need their text unchanged pass a copy.
std::unique_ptr<UrlParts> ParseUrl(std::string& text);
// The same, for a caller whose text stays as it is.
std::unique_ptr<UrlParts> ParseUrlCopy(std::string text);

// A URL as a user types it: after the short forms, text that still names no
// scheme is taken as http ("host:8080/f.bin"). ParseUrl itself keeps such text
// malformed, as a relative redirect or link must not pass for a host.
std::string ExpandTypedUrl(std::string text);

// True when, once the "www." and "ftp." short forms are expanded, the text
// has a "://" after a scheme of at most ten characters; only then is the text
// replaced by that expansion. Any scheme counts.
bool IsUrl(std::string& text);

// A byte of 0x00 to 0x1F or 0x7F.
inline bool IsControlCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7f;
}

// True when the text holds a control byte: none of them may reach a request
// or command line.
bool HoldsControlCharacter(std::string_view text);

// The bytes "%XX" escapes (hex digits of either case) stand for, the other
// bytes as they are; nothing when a "%" starts no such escape.
std::optional<std::string> DecodePercentEscapes(std::string_view text);

// http and https: the same dialogue, https inside TLS.
bool IsHttpScheme(std::string_view scheme);

// One scheme, host (in any case) and port.
bool SameServer(const UrlParts& a, const UrlParts& b);

// The canonical text of parsed parts. User name and password never appear in it.
std::string FormatUrl(const UrlParts& parts);

}  // namespace pellmarsh
