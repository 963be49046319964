#include "store/byte_figures.h"

namespace pellmarsh {

std::string GroupedInteger(int64_t value) {
  // Through the unsigned magnitude: the lowest int64_t has no positive twin.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits;
  int count = 0;
  do {
    if (count > 0 && count % 3 == 0) {
      digits.push_back(',');
    }
    digits.push_back(static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
    ++count;
  } while (magnitude > 0);
  if (value < 0) {
    digits.push_back('-');
  }
  return {digits.rbegin(), digits.rend()};
}

std::string ScaledBytes(int64_t bytes) {
  static const char* const kUnits[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB"};
  if (bytes < 1000) {
    return std::to_string(bytes < 0 ? 0 : bytes) + " B";
  }
  int unit = 1;
  int64_t scale = 1000;
  while (bytes / scale >= 1000) {
    scale *= 1000;
    ++unit;
  }
  const int64_t whole = bytes / scale;
  if (whole >= 100) {
    return std::to_string(whole) + " " + kUnits[unit];
  }
  const int64_t tenths = bytes / (scale / 10) % 10;
  return std::to_string(whole) + "." + std::to_string(tenths) + " " + kUnits[unit];
}

std::string ScaledRate(int64_t bytesPerSecond) {
  return ScaledBytes(bytesPerSecond) + "/s";
}

std::string KilobytesPerMinuteText(int64_t bytesPerSecond) {
  const int64_t perMinute = (bytesPerSecond < 0 ? 0 : bytesPerSecond) * 60;
  return std::to_string(perMinute / 1024) + "." + std::to_string((perMinute % 1024) * 10 / 1024) +
         " KPM";
}

std::string RateInUnit(int64_t bytesPerSecond, bool bytesPerSecondUnit) {
  return bytesPerSecondUnit ? ScaledRate(bytesPerSecond) : KilobytesPerMinuteText(bytesPerSecond);
}

}  // namespace pellmarsh
