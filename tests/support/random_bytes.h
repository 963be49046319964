#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace pellmarsh::testing {

// Bytes of every value, the same for the same seed, so a byte out of place or
// a converted line end shows in a comparison.
inline std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    byte = static_cast<char>(random() & 0xFF);
  }
  return bytes;
}

}  // namespace pellmarsh::testing
