#include "capture/native_message.h"

#include <cstdint>
#include <cstdio>

#include "store/keys.h"
#include "store/utf8.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

constexpr int kMaxDepth = 64;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads one JSON text, keeping only the strings of the top-level "urls" array.
class MessageReader {
 public:
  explicit MessageReader(std::string_view text) : text_(text) {}

  UrlsMessage Read() {
    UrlsMessage message;
    SkipSpace();
    if (!TopObject(message) || (SkipSpace(), pos_ != text_.size())) {
      message.urls.clear();
      message.error = "The message is not JSON of the form {\"urls\":[...]}.";
    }
    return message;
  }

 private:
  bool TopObject(UrlsMessage& message) {
    if (!Take('{')) {
      return false;
    }
    bool sawUrls = false;
    if (SkipSpace(), Take('}')) {
      return true;
    }
    do {
      std::string key;
      SkipSpace();
      if (!String(&key) || (SkipSpace(), !Take(':'))) {
        return false;
      }
      SkipSpace();
      if (key == "urls") {
        if (sawUrls || !UrlArray(message.urls)) {
          return false;
        }
        sawUrls = true;
      } else if (!Value(1)) {
        return false;
      }
      SkipSpace();
    } while (Take(','));
    return Take('}');
  }

  bool UrlArray(std::vector<std::string>& urls) {
    if (!Take('[')) {
      return false;
    }
    if (SkipSpace(), Take(']')) {
      return true;
    }
    do {
      SkipSpace();
      if (!String(&urls.emplace_back())) {
        return false;
      }
      SkipSpace();
    } while (Take(','));
    return Take(']');
  }

  bool Value(int depth) {
    if (depth > kMaxDepth || pos_ == text_.size()) {
      return false;
    }
    switch (text_[pos_]) {
      case '{':
        return Container('}', depth, true);
      case '[':
        return Container(']', depth, false);
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

  bool Container(char close, int depth, bool members) {
    ++pos_;
    if (SkipSpace(), Take(close)) {
      return true;
    }
    do {
      SkipSpace();
      if (members) {
        if (!String(nullptr) || (SkipSpace(), !Take(':'))) {
          return false;
        }
        SkipSpace();
      }
      if (!Value(depth + 1)) {
        return false;
      }
      SkipSpace();
    } while (Take(','));
    return Take(close);
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

UrlsMessage ParseUrlsMessage(std::string_view json) {
  UrlsMessage message = MessageReader(json).Read();
  if (!message.error.empty()) {
    return message;
  }
  if (message.urls.empty()) {
    message.error = "The message holds no links.";
    return message;
  }
  for (const std::string& url : message.urls) {
    if (std::string reason = RefusedUrlReason(url); !reason.empty()) {
      message.urls.clear();
      message.error = std::move(reason);
      break;
    }
  }
  return message;
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
