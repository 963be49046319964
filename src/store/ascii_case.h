#pragma once

#include <string>
#include <string_view>

namespace pellmarsh {

// Case as item names, URL schemes and file extensions compare it: only the
// ASCII letters change, whatever the user's locale, so the bytes of a UTF-8
// name stay as they are.
inline char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiLower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    c = AsciiLower(c);
  }
  return lowered;
}

inline std::string AsciiUpper(std::string_view text) {
  std::string uppered(text);
  for (char& c : uppered) {
    c = AsciiUpper(c);
  }
  return uppered;
}

}  // namespace pellmarsh
