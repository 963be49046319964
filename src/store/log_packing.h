#pragma once

#include <string>
#include <string_view>

namespace pellmarsh {

// What a log reads as when its packed bytes do not unpack (a damaged data file).
inline constexpr std::string_view kDamagedLogText =
    "The log could not be read back: its stored bytes are damaged.\r\n";

// A log's text as the data file keeps it packed: its length as four
// little-endian bytes, then a zlib stream. Logs are far below 4 GiB.
std::string DeflateLog(std::string_view text);
// The text again, or kDamagedLogText when the bytes are not what DeflateLog
// made. Never allocates more than a deflate stream of this size could hold.
std::string InflateLog(std::string_view packed);

}  // namespace pellmarsh
