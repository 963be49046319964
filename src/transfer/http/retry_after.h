#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pellmarsh {

// A busy server may say when to come back; an hour is the most it gets, so a
// hostile or mistaken date cannot park a download for days.
inline constexpr int kLongestRetryAfter = 3600;

// The seconds a Retry-After value asks to wait from `now` (seconds since
// 1970): delay-seconds, or an HTTP date in any of its three forms. A date
// already past is 0; nothing when the value is neither.
std::optional<int> RetryAfterSeconds(std::string_view value, int64_t now);

// An HTTP date (IMF-fixdate, RFC 850 or asctime form) as seconds since 1970,
// always read as GMT; nothing when the text is none of them.
std::optional<int64_t> ParseHttpDate(std::string_view text);

}  // namespace pellmarsh
