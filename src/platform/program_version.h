#pragma once

#include <string_view>

namespace pellmarsh {

// Set in the top CMakeLists.txt.
inline constexpr std::string_view kProgramVersion = PELLMARSH_VERSION;
// What servers and proxies are told: the version's numbers, without its letter.
inline constexpr std::string_view kUserAgent = "Pellmarsh " PELLMARSH_NUMERIC_VERSION;

}  // namespace pellmarsh
