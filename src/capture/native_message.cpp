#include "capture/native_message.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "store/keys.h"
#include "store/utf8.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

constexpr int kMaxDepth = 64;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

enum class Kind { kString, kArray, kObject, kBoolean, kNumber, kOther };

std::string KindName(Kind kind) {
  switch (kind) {
    case Kind::kString:
      return "a string";
    case Kind::kArray:
      return "an array";
    case Kind::kObject:
      return "an object";
    case Kind::kBoolean:
      return "true or false";
    default:
      return "a number";
  }
}

// Where a value sits, for the reason a message is refused: `A cookie's "path"`.
struct Place {
  std::string_view owner;
  std::string_view name;

  std::string Subject() const { return std::string(owner) + " \"" + std::string(name) + "\""; }
};

// Why a text may not go on: past `longest` bytes, or holding a control
// character or one of `forbidden`; empty when it may.
std::string TextReason(const Place& place, std::string_view text, size_t longest,
                       std::string_view forbidden) {
  if (text.size() > longest) {
    return place.Subject() + " is longer than " + std::to_string(longest) + " bytes.";
  }
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      return place.Subject() + " holds a control character.";
    }
    if (forbidden.find(c) != std::string_view::npos) {
      return place.Subject() + " holds \"" + c + "\".";
    }
  }
  return {};
}

size_t CookieHeaderLength(const std::vector<BrowserCookie>& cookies) {
  size_t length = 0;
  for (const BrowserCookie& cookie : cookies) {
    length += (length == 0 ? 0 : 2) + cookie.name.size() + 1 + cookie.value.size();
  }
  return length;
}

enum DownloadMember { kUrl, kFinalUrl, kReferrer, kUserAgent, kFilename, kSize, kCookies };
constexpr std::array<std::string_view, 7> kDownloadMembers = {
    "url", "finalUrl", "referrer", "userAgent", "filename", "size", "cookies"};

enum CookieMember { kName, kValue, kDomain, kPath, kSecure, kHttpOnly, kHostOnly, kExpiry };
constexpr std::array<std::string_view, 8> kCookieMembers = {
    "name", "value", "domain", "path", "secure", "httpOnly", "hostOnly", "expirationDate"};

// Reads one JSON text into the downloads it asks for. Broken JSON stops the
// reading; a value that may not go on only marks the message refused, so the
// first reason found is given unless the text is not JSON at all.
class MessageReader {
 public:
  explicit MessageReader(std::string_view text) : text_(text) {}

  BrowserMessage Read() {
    BrowserMessage message;
    SkipSpace();
    if (!TopObject(message) || (SkipSpace(), pos_ != text_.size())) {
      message.error =
          "The message is not JSON of the form {\"urls\":[...]} or {\"downloads\":[...]}.";
    } else if (!refusal_.empty()) {
      message.error = std::move(refusal_);
    } else if (message.downloads.empty()) {
      message.error = "The message holds no links.";
    }
    if (!message.error.empty()) {
      message.downloads.clear();
    }
    return message;
  }

 private:
  bool TopObject(BrowserMessage& message) {
    if (KindAhead() != Kind::kObject) {
      return false;
    }
    std::vector<HandedDownload>& downloads = message.downloads;
    static constexpr std::array<std::string_view, 3> kMembers = {"urls", "downloads", "confirm"};
    constexpr size_t kConfirm = 2;
    bool sawForm = false;
    const bool read =
        Object(0, "The message's", kMembers, [&](size_t member, const Place& place, int depth) {
          if (member == kConfirm) {
            return Flag(place, depth, message.confirm);
          }
          if (std::exchange(sawForm, true)) {
            Refuse("The message holds both \"urls\" and \"downloads\".");
          }
          const Place entry{"An entry of", place.name};
          return Array(place, depth, [&](int inner) {
            if (place.name == "urls") {
              return Link(entry, inner, downloads.emplace_back().url, false);
            }
            return Of(Kind::kObject, entry, inner,
                      [&] { return Download(inner, downloads.emplace_back()); });
          });
        });
    if (downloads.size() > kMostHandedDownloads) {
      Refuse("The message holds more than " + std::to_string(kMostHandedDownloads) + " links.");
    }
    return read;
  }

  bool Download(int depth, HandedDownload& download) {
    const bool read = Object(
        depth, "A download's", kDownloadMembers, [&](size_t member, const Place& place, int inner) {
          switch (member) {
            case kUrl:
              return Link(place, inner, download.url, false);
            case kFinalUrl:
              return Link(place, inner, download.finalUrl, false);
            case kReferrer:
              return Link(place, inner, download.referrer, true);
            case kUserAgent:
              return Text(place, inner, download.userAgent, kLongestHandedUserAgent, "");
            case kFilename:
              return Text(place, inner, download.filename, kLongestHandedFilename, "");
            case kSize:
              return Of(Kind::kNumber, place, inner, [&] { return Size(place, download.size); });
            default:
              return Cookies(place, inner, download.cookies);
          }
        });
    if (download.url.empty()) {
      Refuse("A download has no \"url\".");
    }
    return read;
  }

  bool Cookies(const Place& place, int depth, std::vector<BrowserCookie>& cookies) {
    const Place entry{"An entry of", place.name};
    const bool read = Array(place, depth, [&](int inner) {
      return Of(Kind::kObject, entry, inner, [&] { return Cookie(inner, cookies.emplace_back()); });
    });
    if (cookies.size() > kMostHandedCookies) {
      Refuse("A download has more than " + std::to_string(kMostHandedCookies) + " cookies.");
    } else if (CookieHeaderLength(cookies) > kLongestHandedCookieHeader) {
      Refuse("A download's cookies take more than " + std::to_string(kLongestHandedCookieHeader) +
             " bytes as a Cookie header.");
    }
    return read;
  }

  bool Cookie(int depth, BrowserCookie& cookie) {
    return Object(
        depth, "A cookie's", kCookieMembers, [&](size_t member, const Place& place, int inner) {
          switch (member) {
            // Names and values are bounded together by their header, once all are read.
            case kName:
              return Text(place, inner, cookie.name, kLongestHandedCookieHeader, ";");
            case kValue:
              return Text(place, inner, cookie.value, kLongestHandedCookieHeader, ";");
            case kDomain:
              return Text(place, inner, cookie.domain, kLongestCookieAttribute, " ");
            case kPath:
              return Text(place, inner, cookie.path, kLongestCookieAttribute, " ");
            case kSecure:
              return Flag(place, inner, cookie.secure);
            case kHttpOnly:
              return Flag(place, inner, cookie.httpOnly);
            case kHostOnly:
              return Flag(place, inner, cookie.hostOnly);
            default:
              return Of(Kind::kNumber, place, inner, [&] { return Expiry(place, cookie.expiry); });
          }
        });
  }

  bool Link(const Place& place, int depth, std::string& url, bool mayBeEmpty) {
    if (!Text(place, depth, url, kLongestHandedUrl, "")) {
      return false;
    }
    if (!mayBeEmpty || !url.empty()) {
      Refuse(RefusedUrlReason(url));
    }
    return true;
  }

  bool Text(const Place& place, int depth, std::string& out, size_t longest,
            std::string_view forbidden) {
    return Of(Kind::kString, place, depth, [&] {
      if (!String(&out)) {
        return false;
      }
      Refuse(TextReason(place, out, longest, forbidden));
      return true;
    });
  }

  bool Flag(const Place& place, int depth, bool& out) {
    return Of(Kind::kBoolean, place, depth, [&] {
      out = Word("true");
      return out || Word("false");
    });
  }

  // A whole number of bytes: no sign, fraction or exponent.
  bool Size(const Place& place, int64_t& out) {
    const size_t start = pos_;
    if (!Number()) {
      return false;
    }
    const char* end = text_.data() + pos_;
    const auto read = std::from_chars(text_.data() + start, end, out);
    if (text_[start] == '-' || read.ec != std::errc() || read.ptr != end) {
      Refuse(place.Subject() + " is not a whole number of bytes.");
    }
    return true;
  }

  // Seconds since 1970, perhaps with a fraction the whole seconds drop. Given
  // at all, it never reads as 0, which would make the cookie a session's.
  bool Expiry(const Place& place, int64_t& out) {
    const size_t start = pos_;
    if (!Number()) {
      return false;
    }
    double seconds = -1;
    std::from_chars(text_.data() + start, text_.data() + pos_, seconds);
    if (seconds >= 0 && seconds < static_cast<double>(kLatestCookieExpiry + 1)) {
      out = std::max<int64_t>(1, static_cast<int64_t>(seconds));
    } else {
      Refuse(place.Subject() + " is not a time from 1970 to 9999.");
    }
    return true;
  }

  // Reads an object, handing each member named in `names` to `read` with its
  // index there; a member named twice refuses the message, others are skipped.
  template <size_t N, typename Read>
  bool Object(int depth, std::string_view owner, const std::array<std::string_view, N>& names,
              Read read) {
    std::bitset<N> seen;
    return Sequence(true, depth, [&](const std::string& name, int inner) {
      const size_t member = static_cast<size_t>(std::ranges::find(names, name) - names.begin());
      if (member == N) {
        return Value(inner);
      }
      const Place place{owner, names[member]};
      if (seen[member]) {
        Refuse(place.Subject() + " is given twice.");
      }
      seen[member] = true;
      return read(member, place, inner);
    });
  }

  template <typename Read>
  bool Array(const Place& place, int depth, Read read) {
    return Of(Kind::kArray, place, depth, [&] {
      return Sequence(false, depth, [&](const std::string&, int inner) { return read(inner); });
    });
  }

  // Reads the value ahead with `read` when it is of `kind`; any other is
  // skipped and refuses the message.
  template <typename Read>
  bool Of(Kind kind, const Place& place, int depth, Read read) {
    if (KindAhead() == kind) {
      return read();
    }
    Refuse(place.Subject() + " is not " + KindName(kind) + ".");
    return Value(depth);
  }

  // Reads the object's members or the array's elements at `pos_`, handing
  // each value to `read` with its name (empty in an array) and depth.
  template <typename Read>
  bool Sequence(bool members, int depth, Read read) {
    const char close = members ? '}' : ']';
    ++pos_;
    if (SkipSpace(), Take(close)) {
      return true;
    }
    do {
      std::string name;
      SkipSpace();
      if (members && (!String(&name) || (SkipSpace(), !Take(':')))) {
        return false;
      }
      SkipSpace();
      if (!read(name, depth + 1)) {
        return false;
      }
      SkipSpace();
    } while (Take(','));
    return Take(close);
  }

  Kind KindAhead() const {
    const char c = pos_ < text_.size() ? text_[pos_] : '\0';
    return c == '"'                 ? Kind::kString
           : c == '['               ? Kind::kArray
           : c == '{'               ? Kind::kObject
           : c == 't' || c == 'f'   ? Kind::kBoolean
           : c == '-' || IsDigit(c) ? Kind::kNumber
                                    : Kind::kOther;
  }

  // Keeps the first reason only; an empty one is no reason.
  void Refuse(std::string reason) {
    if (refusal_.empty()) {
      refusal_ = std::move(reason);
    }
  }

  bool Value(int depth) {
    if (depth > kMaxDepth || pos_ == text_.size()) {
      return false;
    }
    switch (text_[pos_]) {
      case '{':
      case '[':
        return Sequence(text_[pos_] == '{', depth,
                        [&](const std::string&, int inner) { return Value(inner); });
      case '"':
        return String(nullptr);
      case 't':
        return Word("true");
      case 'f':
        return Word("false");
      case 'n':
        return Word("null");
      default:
        return Number();
    }
  }

  bool String(std::string* out) {
    if (!Take('"')) {
      return false;
    }
    std::string scratch;
    std::string& value = out != nullptr ? *out : scratch;
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) {
        return false;
      }
      if (c == '\\') {
        if (!Escape(value)) {
          return false;
        }
        continue;
      }
      const size_t length = Utf8SequenceLength(text_, pos_);
      if (length == 0) {
        return false;
      }
      value.append(text_.substr(pos_, length));
      pos_ += length;
    }
    return false;
  }

  bool Escape(std::string& value) {
    if (++pos_ == text_.size()) {
      return false;
    }
    const char c = text_[pos_++];
    static constexpr std::string_view kFrom = "\"\\/bfnrt";
    static constexpr std::string_view kTo = "\"\\/\b\f\n\r\t";
    if (const size_t at = kFrom.find(c); at != std::string_view::npos) {
      value += kTo[at];
      return true;
    }
    uint32_t code = 0;
    if (c != 'u' || !Hex4(code)) {
      return false;
    }
    if (code >= 0xdc00 && code <= 0xdfff) {
      return false;
    }
    if (code >= 0xd800 && code <= 0xdbff) {
      uint32_t low = 0;
      if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xdc00 || low > 0xdfff) {
        return false;
      }
      code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
    }
    AppendUtf8(value, code);
    return true;
  }

  bool Hex4(uint32_t& code) {
    if (text_.size() - pos_ < 4) {
      return false;
    }
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      const int digit = IsDigit(c)               ? c - '0'
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                 : -1;
      if (digit < 0) {
        return false;
      }
      code = code * 16 + static_cast<uint32_t>(digit);
    }
    return true;
  }

  bool Number() {
    Take('-');
    if (!Take('0') && !Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) {
      return false;
    }
    if (Take('e') || Take('E')) {
      if (!Take('+')) {
        Take('-');
      }
      return Digits();
    }
    return true;
  }

  bool Digits() {
    const size_t start = pos_;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) {
      ++pos_;
    }
    return pos_ > start;
  }

  bool Word(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) {
      return false;
    }
    pos_ += word.size();
    return true;
  }

  bool Take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::string refusal_;
};

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (size_t pos = 0; pos < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++pos;
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
      ++pos;
    } else if (const size_t length = Utf8SequenceLength(text, pos); length == 0) {
      // The browser drops an answer that is not UTF-8.
      out += "\\ufffd";
      ++pos;
    } else {
      out.append(text.substr(pos, length));
      pos += length;
    }
  }
  out += '"';
}

}  // namespace

BrowserMessage ParseBrowserMessage(std::string_view json) {
  return MessageReader(json).Read();
}

std::string RefusedUrlReason(const std::string& url) {
  const size_t colon = url.find("://");
  std::string scheme = url.substr(0, colon == std::string::npos ? 0 : colon);
  for (char& c : scheme) {
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  if (scheme != "http" && scheme != "https" && scheme != "ftp") {
    return "Only http, https and ftp links can be downloaded.";
  }
  for (const char c : url) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) {
      return "A link holds a space or a control character.";
    }
  }
  return ParseUrlCopy(url)->GetProp(key::kError);
}

std::string UrlsAnswer(const std::vector<std::string>& reasons) {
  size_t added = 0;
  const std::string* firstReason = nullptr;
  for (const std::string& reason : reasons) {
    if (reason.empty()) {
      ++added;
    } else if (firstReason == nullptr) {
      firstReason = &reason;
    }
  }
  std::string answer = firstReason == nullptr ? "{\"ok\":true" : "{\"ok\":false,\"error\":";
  if (firstReason != nullptr) {
    AppendJsonString(answer, *firstReason);
  }
  return answer + ",\"added\":" + std::to_string(added) + "}";
}

std::string ErrorAnswer(std::string_view error) {
  std::string answer = "{\"ok\":false,\"error\":";
  AppendJsonString(answer, error);
  return answer + "}";
}

}  // namespace pellmarsh
