#include "transfer/ftp/ftp_reply.h"

#include <algorithm>

#include "platform/socket.h"
#include "store/number_text.h"

namespace pellmarsh {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Replaces escapes from the first "%" on; a decoded "%" is looked at again, so
// "%2541" ends as "A". Returns how many were replaced.
int DecodeEscapes(std::string& text) {
  int replaced = 0;
  for (size_t at = text.find('%'); at != std::string::npos && text.size() - at > 2;
       at = text.find('%', at)) {
    const int high = HexDigitValue(text[at + 1]);
    const int low = HexDigitValue(text[at + 2]);
    const int value = high < 0 || low < 0 ? -1 : high * 16 + low;
    if (value < 0 || value == '\r' || value == '\n' || value == 0) {
      ++at;
      continue;
    }
    text.replace(at, 3, 1, static_cast<char>(value));
    ++replaced;
  }
  return replaced;
}

// A number of 0 to 255 at `at`, which is moved past it; at most three digits.
std::optional<uint8_t> TakeByteNumber(std::string_view text, size_t& at) {
  int value = 0;
  size_t digits = 0;
  while (at < text.size() && IsDigit(text[at])) {
    if (++digits > 3) {
      return std::nullopt;
    }
    value = value * 10 + (text[at++] - '0');
  }
  if (digits == 0 || value > 255) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(value);
}

// Six byte numbers joined by commas from `at` on.
std::optional<PassiveReply> SixNumbersAt(std::string_view text, size_t at) {
  uint8_t numbers[6];
  for (size_t index = 0; index < 6; ++index) {
    if (index > 0) {
      if (at >= text.size() || text[at] != ',') {
        return std::nullopt;
      }
      ++at;
    }
    const std::optional<uint8_t> number = TakeByteNumber(text, at);
    if (!number) {
      return std::nullopt;
    }
    numbers[index] = *number;
  }
  const uint32_t address = uint32_t{numbers[0]} << 24 | uint32_t{numbers[1]} << 16 |
                           uint32_t{numbers[2]} << 8 | numbers[3];
  const auto port = static_cast<uint16_t>(numbers[4] << 8 | numbers[5]);
  if (port == 0) {
    return std::nullopt;
  }
  return PassiveReply{address, port};
}

}  // namespace

std::optional<std::string> TakeReplyLine(std::string& buffer) {
  const size_t end = buffer.find('\n');
  if (end == std::string::npos) {
    return std::nullopt;
  }
  std::string line = buffer.substr(0, end);
  buffer.erase(0, end + 1);
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return line;
}

char ReplyClass(std::string_view line) {
  if (line.size() < 4 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]) ||
      line[3] != ' ') {
    return 0;
  }
  return line[0];
}

std::optional<int64_t> AnnouncedSize(std::string_view line) {
  std::optional<int64_t> size;
  for (size_t open = line.find('('); open != std::string_view::npos;
       open = line.find('(', open + 1)) {
    const size_t close = line.find(')', open + 1);
    const std::string_view group = close == std::string_view::npos
                                       ? std::string_view()
                                       : line.substr(open + 1, close - open - 1);
    if (!group.starts_with("byte")) {
      // A negative count is no size at all.
      size = std::max<int64_t>(0, ParseLeadingInteger(group));
    }
  }
  return size;
}

FileRequest RequestForPath(std::string_view fullpath) {
  if (fullpath.empty()) {
    return {"NLST ", ".", true};
  }
  const std::string_view last = fullpath.substr(fullpath.rfind('/') + 1);
  const bool listing = fullpath.ends_with('/') || last.find_first_of("*?") != std::string::npos;
  if (!listing) {
    return {"RETR ", std::string(fullpath), false};
  }
  if (fullpath.ends_with('/')) {
    fullpath.remove_suffix(1);
  }
  return {"NLST ", std::string(fullpath), true};
}

std::optional<std::string> RewriteRefusedPath(std::string_view fullpath) {
  if (fullpath.starts_with('/')) {
    return std::string(fullpath.substr(1));
  }
  if (fullpath.find('%') != std::string_view::npos) {
    std::string decoded(fullpath);
    if (DecodeEscapes(decoded) == 0) {
      return std::nullopt;
    }
    return "/" + decoded;
  }
  if (fullpath.find('*') == std::string_view::npos) {
    return std::string(fullpath) + "/*";
  }
  return std::nullopt;
}

std::optional<uint16_t> ExtendedPassivePort(std::string_view line) {
  const size_t open = line.find('(');
  if (open == std::string_view::npos || line.size() - open < 6) {
    return std::nullopt;
  }
  const char delimiter = line[open + 1];
  if (delimiter < 33 || delimiter > 126 || IsDigit(delimiter) || line[open + 2] != delimiter ||
      line[open + 3] != delimiter) {
    return std::nullopt;
  }
  uint32_t port = 0;
  size_t at = open + 4;
  const size_t digitsStart = at;
  while (at < line.size() && IsDigit(line[at]) && at - digitsStart < 5) {
    port = port * 10 + static_cast<uint32_t>(line[at++] - '0');
  }
  if (at == digitsStart || at >= line.size() || line[at] != delimiter || port == 0 ||
      port > 65535) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(port);
}

std::optional<PassiveReply> PassiveAddress(std::string_view line) {
  // Servers differ in what surrounds the numbers, so the first run of six wins.
  for (size_t at = ReplyClass(line) != 0 ? 4 : 0; at < line.size(); ++at) {
    if (IsDigit(line[at]) && (at == 0 || !IsDigit(line[at - 1]))) {
      if (const std::optional<PassiveReply> found = SixNumbersAt(line, at)) {
        return found;
      }
    }
  }
  return std::nullopt;
}

std::string PortArgument(uint32_t address, uint16_t port) {
  std::string text = DottedQuad(address);
  std::replace(text.begin(), text.end(), '.', ',');
  return text + "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xFF);
}

bool IsSafeCommandArgument(std::string_view argument) {
  return argument.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace pellmarsh
