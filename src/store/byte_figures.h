#pragma once

#include <cstdint>
#include <string>

// Byte counts and rates as people read them today: digits grouped by commas
// and sizes scaled to decimal units, the same whatever the desktop's language.

namespace pellmarsh {

// "200,000,000".
std::string GroupedInteger(int64_t value);
// "850 B", "37.5 MB", "200 MB": three figures at most, never rounded up, so a
// file not yet whole never reads as its full size.
std::string ScaledBytes(int64_t bytes);
// "850 kB/s", "1.4 MB/s".
std::string ScaledRate(int64_t bytesPerSecond);
// "99.9 KPM": kilobytes of 1024 bytes per minute, tenths truncated.
std::string KilobytesPerMinuteText(int64_t bytesPerSecond);
// The rate in the unit the user chose: scaled bytes per second, or kilobytes per minute.
std::string RateInUnit(int64_t bytesPerSecond, bool bytesPerSecondUnit);

}  // namespace pellmarsh
