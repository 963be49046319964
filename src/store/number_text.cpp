#include "store/number_text.h"

#include <array>
#include <charconv>
#include <limits>

namespace pellmarsh {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view SkipBlanks(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) {
    ++start;
  }
  return text.substr(start);
}

// Skips leading blanks and one sign; true when the sign was a minus.
bool TakeSign(std::string_view& text) {
  text = SkipBlanks(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  return negative;
}

}  // namespace

int64_t ParseLeadingInteger(std::string_view text) {
  const bool negative = TakeSign(text);
  // Accumulate as a negative number so that INT64_MIN itself is representable.
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  int64_t value = 0;
  bool saturated = false;
  for (char c : text) {
    if (c < '0' || c > '9') {
      break;
    }
    const int digit = c - '0';
    if (value < (kMin + digit) / 10) {
      saturated = true;
      break;
    }
    value = value * 10 - digit;
  }
  if (saturated) {
    return negative ? kMin : std::numeric_limits<int64_t>::max();
  }
  if (negative) {
    return value;
  }
  return value == kMin ? std::numeric_limits<int64_t>::max() : -value;
}

double ParseLeadingReal(std::string_view text) {
  const bool negative = TakeSign(text);
  // Only digits begin a number: not a second sign ("--1"), and not the words
  // "inf" and "nan" that the conversion below would otherwise accept.
  const bool digitFirst = !text.empty() && text[0] >= '0' && text[0] <= '9';
  const bool pointThenDigit = text.size() > 1 && text[0] == '.' && text[1] >= '0' && text[1] <= '9';
  if (!digitFirst && !pointThenDigit) {
    return 0.0;
  }
  double value = 0.0;
  const auto result =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (result.ec != std::errc()) {
    return 0.0;
  }
  return negative ? -value : value;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

std::string FormatInteger(int64_t value) {
  std::array<char, 24> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

std::string FormatReal(double value) {
  // Wide enough for the largest double written with six decimals.
  std::array<char, 320> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, 6);
  return std::string(buffer.data(), result.ptr);
}

}  // namespace pellmarsh
