#pragma once

#include <algorithm>
#include <string_view>

#include "url/local_name_registry.h"

// One visible file inside the download directory: what every name taken from
// a server must be, whatever bytes it came from.
inline bool IsSafeLocalName(std::string_view name) {
  return !name.empty() && name.front() != '.' && name.size() <= pellmarsh::kLongestFinalName &&
         std::none_of(name.begin(), name.end(), [](char c) {
           const auto byte = static_cast<unsigned char>(c);
           return byte == '/' || byte < 0x20 || byte == 0x7f;
         });
}
