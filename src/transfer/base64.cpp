#include "transfer/base64.h"

#include <cstdint>

namespace pellmarsh {

std::string Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  encoded.reserve((bytes.size() + 2) / 3 * 4);
  size_t index = 0;
  for (; index + 3 <= bytes.size(); index += 3) {
    const uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[index])) << 16 |
                           static_cast<uint32_t>(static_cast<unsigned char>(bytes[index + 1]))
                               << 8 |
                           static_cast<unsigned char>(bytes[index + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) {
      encoded += kAlphabet[(group >> shift) & 0x3F];
    }
  }
  const size_t left = bytes.size() - index;
  if (left > 0) {
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[index])) << 16;
    if (left == 2) {
      group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[index + 1])) << 8;
    }
    encoded += kAlphabet[(group >> 18) & 0x3F];
    encoded += kAlphabet[(group >> 12) & 0x3F];
    encoded += left == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
    encoded += '=';
  }
  return encoded;
}

}  // namespace pellmarsh
