#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pellmarsh {

// The month an English three-letter abbreviation names ("Jan" is 1), in any
// case, as dates in headers write it; nothing for any other text.
std::optional<int> MonthFromAbbreviation(std::string_view text);

// The days of a month (1 to 12) of a year of the proleptic Gregorian calendar.
int DaysInMonth(int64_t year, int month);

// A moment of that calendar read as UTC, in seconds since 1970. The fields
// are taken as they are: a caller checks that they name a real moment.
int64_t UtcSeconds(int64_t year, int month, int day, int hour, int minute, int second);

}  // namespace pellmarsh
