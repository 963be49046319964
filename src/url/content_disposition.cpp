#include "url/content_disposition.h"

#include <algorithm>
#include <utility>

#include "store/ascii_case.h"
#include "store/utf8.h"
#include "url/safe_local_name.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

// RFC 9110's token characters, and bytes past ASCII, which servers write
// unquoted in names.
bool IsTokenCharacter(char c) {
  static constexpr std::string_view kDelimiters = "\"(),/:;<=>?@[\\]{}";
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x80 ||
         (byte > ' ' && byte < 0x7f && kDelimiters.find(c) == std::string_view::npos);
}

// Each read consumes what it looked at, so the value is read once.
class ValueReader {
 public:
  explicit ValueReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }

  void SkipSpace() {
    while (!AtEnd() && (text_[pos_] == ' ' || text_[pos_] == '\t')) {
      ++pos_;
    }
  }

  bool Take(char c) {
    if (AtEnd() || text_[pos_] != c) {
      return false;
    }
    ++pos_;
    return true;
  }

  // Empty when no token starts here.
  std::string_view Token() {
    const auto rest = text_.substr(pos_);
    const size_t length =
        std::find_if_not(rest.begin(), rest.end(), IsTokenCharacter) - rest.begin();
    pos_ += length;
    return rest.substr(0, length);
  }

  // A non-empty token or a quoted string.
  std::optional<std::string> ParameterValue() {
    if (Take('"')) {
      return QuotedStringRest();
    }
    const std::string_view token = Token();
    if (token.empty()) {
      return std::nullopt;
    }
    return std::string(token);
  }

 private:
  // After the opening quote; "\" makes the next character plain. Nothing
  // when the string holds a control character or never ends.
  std::optional<std::string> QuotedStringRest() {
    std::string value;
    while (!AtEnd()) {
      char c = text_[pos_++];
      if (c == '"') {
        return value;
      }
      if (c == '\\') {
        if (AtEnd()) {
          return std::nullopt;
        }
        c = text_[pos_++];
      }
      if (IsControlCharacter(c) && c != '\t') {
        return std::nullopt;
      }
      value += c;
    }
    return std::nullopt;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

struct FileNameParameters {
  std::optional<std::string> plain;     // "filename"
  std::optional<std::string> extended;  // "filename*", still encoded
};

// The type, then "; name=value" pairs. A value that starts with a parameter
// has no type ("filename=a.pdf"), and one with a stray word or a missing ";"
// was not written to this grammar: neither is read further.
std::optional<FileNameParameters> ReadFileNameParameters(std::string_view headerValue) {
  ValueReader reader(headerValue);
  reader.SkipSpace();
  if (reader.Token().empty()) {
    return std::nullopt;
  }
  FileNameParameters found;
  for (;;) {
    reader.SkipSpace();
    if (reader.AtEnd()) {
      return found;
    }
    if (!reader.Take(';')) {
      return std::nullopt;
    }
    reader.SkipSpace();
    // Many servers end the value with a ";".
    if (reader.AtEnd()) {
      return found;
    }
    const std::string name = AsciiLower(reader.Token());
    reader.SkipSpace();
    if (name.empty() || !reader.Take('=')) {
      return std::nullopt;
    }
    reader.SkipSpace();
    std::optional<std::string> value = reader.ParameterValue();
    if (!value) {
      return std::nullopt;
    }
    std::optional<std::string>* slot = name == "filename"    ? &found.plain
                                       : name == "filename*" ? &found.extended
                                                             : nullptr;
    if (slot) {
      // Which of two names the server meant cannot be told.
      if (*slot) {
        return std::nullopt;
      }
      *slot = std::move(value);
    }
  }
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    AppendUtf8(text, static_cast<unsigned char>(c));
  }
  return text;
}

// RFC 8187's charset'language'escaped-bytes, in the two charsets every
// recipient must know; the language says nothing about a file name.
std::optional<std::string> DecodeExtendedValue(std::string_view value) {
  const size_t first = value.find('\'');
  const size_t second = first == std::string_view::npos ? first : value.find('\'', first + 1);
  if (second == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string charset = AsciiLower(value.substr(0, first));
  std::optional<std::string> bytes = DecodePercentEscapes(value.substr(second + 1));
  if (!bytes) {
    return std::nullopt;
  }
  if (charset == "utf-8") {
    return IsUtf8(*bytes) ? std::move(bytes) : std::nullopt;
  }
  if (charset == "iso-8859-1") {
    return Latin1ToUtf8(*bytes);
  }
  return std::nullopt;
}

// The header's own charset is ISO-8859-1, but servers send UTF-8 far more
// often, and only UTF-8 is likely to be valid as such.
std::string DecodePlainValue(std::string value) {
  return IsUtf8(value) ? std::move(value) : Latin1ToUtf8(value);
}

}  // namespace

std::optional<std::string> FileNameFromContentDisposition(std::string_view headerValue) {
  const std::optional<FileNameParameters> found = ReadFileNameParameters(headerValue);
  if (!found) {
    return std::nullopt;
  }
  // "filename" is there for recipients that cannot read "filename*".
  const std::optional<std::string> candidates[] = {
      found->extended ? DecodeExtendedValue(*found->extended) : std::nullopt,
      found->plain ? std::optional(DecodePlainValue(*found->plain)) : std::nullopt,
  };
  for (const std::optional<std::string>& candidate : candidates) {
    if (candidate) {
      if (std::string name = SafeLocalName(*candidate); !name.empty()) {
        return name;
      }
    }
  }
  return std::nullopt;
}

}  // namespace pellmarsh
