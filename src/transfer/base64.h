#pragma once

#include <string>
#include <string_view>

namespace pellmarsh {

// Standard Base64 (the "A"-"Z", "a"-"z", "0"-"9", "+", "/" alphabet with "="
// padding) of the bytes, each taken as an unsigned octet, on one line.
std::string Base64Encode(std::string_view bytes);

}  // namespace pellmarsh
