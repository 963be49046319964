#include "store/log_packing.h"

#include <zlib.h>

#include <cstdint>

namespace pellmarsh {
namespace {

constexpr size_t kLengthBytes = 4;
// Deflate never packs more than 1032 bytes into one.
constexpr size_t kMostUnpackedPerByte = 1032;
// The fastest level: a log is packed under the tree lock as its item
// finishes, and an old data file has every finished log packed at start-up.
constexpr int kLevel = Z_BEST_SPEED;

}  // namespace

std::string DeflateLog(std::string_view text) {
  uLongf packedSize = compressBound(static_cast<uLong>(text.size()));
  std::string packed(kLengthBytes + packedSize, '\0');
  const auto length = static_cast<uint32_t>(text.size());
  for (size_t index = 0; index < kLengthBytes; ++index) {
    packed[index] = static_cast<char>((length >> (8 * index)) & 0xFF);
  }
  compress2(reinterpret_cast<Bytef*>(packed.data() + kLengthBytes), &packedSize,
            reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()), kLevel);
  packed.resize(kLengthBytes + packedSize);
  return packed;
}

std::string InflateLog(std::string_view packed) {
  if (packed.size() < kLengthBytes) {
    return std::string(kDamagedLogText);
  }
  uint32_t length = 0;
  for (size_t index = kLengthBytes; index-- > 0;) {
    length = (length << 8) | static_cast<unsigned char>(packed[index]);
  }
  const std::string_view stream = packed.substr(kLengthBytes);
  if (length > stream.size() * kMostUnpackedPerByte) {
    return std::string(kDamagedLogText);
  }
  std::string text(length, '\0');
  uLongf textSize = length;
  const int result =
      uncompress(reinterpret_cast<Bytef*>(text.data()), &textSize,
                 reinterpret_cast<const Bytef*>(stream.data()), static_cast<uLong>(stream.size()));
  if (result != Z_OK || textSize != length) {
    return std::string(kDamagedLogText);
  }
  return text;
}

}  // namespace pellmarsh
