#include "transfer/http/retry_after.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "store/calendar.h"

namespace pellmarsh {
namespace {

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    const size_t start = text.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) {
      break;
    }
    const size_t end = std::min(text.find_first_of(" \t", start), text.size());
    words.push_back(text.substr(start, end - start));
    at = end;
  }
  return words;
}

std::optional<int> Number(std::string_view text, size_t digits) {
  int value = 0;
  if (text.size() != digits ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::optional<int64_t> Moment(std::optional<int> year, std::optional<int> month,
                              std::optional<int> day, std::string_view time) {
  if (!year || !month || !day || *day < 1 || *day > 31 || time.size() != 8 || time[2] != ':' ||
      time[5] != ':') {
    return std::nullopt;
  }
  const int hour = Number(time.substr(0, 2), 2).value_or(-1);
  const int minute = Number(time.substr(3, 2), 2).value_or(-1);
  const int second = Number(time.substr(6, 2), 2).value_or(-1);
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60) {
    return std::nullopt;
  }
  return UtcSeconds(*year, *month, *day, hour, minute, second);
}

}  // namespace

std::optional<int64_t> ParseHttpDate(std::string_view text) {
  const std::vector<std::string_view> words = Words(text);
  if (words.size() == 6 && words[0].ends_with(',') && words[5] == "GMT") {
    // IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT"
    return Moment(Number(words[3], 4), MonthFromAbbreviation(words[2]), Number(words[1], 2),
                  words[4]);
  }
  if (words.size() == 4 && words[0].ends_with(',') && words[3] == "GMT" && words[1].size() == 9 &&
      words[1][2] == '-' && words[1][6] == '-') {
    // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT"; two-digit years are taken
    // as the nearest century's, as most clients read them.
    std::optional<int> year = Number(words[1].substr(7, 2), 2);
    if (year) {
      *year += *year < 70 ? 2000 : 1900;
    }
    return Moment(year, MonthFromAbbreviation(words[1].substr(3, 3)),
                  Number(words[1].substr(0, 2), 2), words[2]);
  }
  if (words.size() == 5) {
    // asctime: "Sun Nov  6 08:49:37 1994"
    const std::string_view day = words[2];
    return Moment(Number(words[4], 4), MonthFromAbbreviation(words[1]),
                  day.size() == 1 ? Number(day, 1) : Number(day, 2), words[3]);
  }
  return std::nullopt;
}

std::optional<int> RetryAfterSeconds(std::string_view value, int64_t now) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
    value.remove_prefix(1);
  }
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
    value.remove_suffix(1);
  }
  if (!value.empty() &&
      std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    // Digits beyond what fits are as long as a wait can be.
    int64_t seconds = kLongestRetryAfter;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (error != std::errc() || end != value.data() + value.size()) {
      seconds = kLongestRetryAfter;
    }
    return static_cast<int>(std::min<int64_t>(seconds, kLongestRetryAfter));
  }
  const std::optional<int64_t> when = ParseHttpDate(value);
  if (!when) {
    return std::nullopt;
  }
  return static_cast<int>(std::clamp<int64_t>(*when - now, 0, kLongestRetryAfter));
}

}  // namespace pellmarsh
