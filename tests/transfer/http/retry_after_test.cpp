#include "transfer/http/retry_after.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

// 1994-11-06 08:49:37 GMT
constexpr int64_t kSample = 784111777;

TEST(RetryAfter, SecondsOrADateAreTheWaitAndNeverMoreThanAnHour) {
  const struct {
    const char* value;
    int64_t now;
    std::optional<int> seconds;
  } cases[] = {
      {"120", 0, 120},
      {" 0 ", 0, 0},
      {"3601", 0, 3600},
      {"99999999999999999999999", 0, 3600},
      {"Sun, 06 Nov 1994 08:49:37 GMT", kSample - 90, 90},
      {"Sunday, 06-Nov-94 08:49:37 GMT", kSample - 90, 90},
      {"Sun Nov  6 08:49:37 1994", kSample - 90, 90},
      {"sun, 06 NOV 1994 08:49:37 GMT", kSample - 90, 90},
      {"Sun, 06 Nov 1994 08:49:37 GMT", kSample + 5, 0},  // already past
      {"Sun, 06 Nov 2094 08:49:37 GMT", kSample, 3600},
      {"Thu, 29 Feb 2024 23:59:60 GMT", 1709251200 - 10, 10},  // a leap day's leap second
      {"", 0, std::nullopt},
      {"-5", 0, std::nullopt},
      {"1.5", 0, std::nullopt},
      {"soon", 0, std::nullopt},
      {"Sun, 06 Nov 1994 08:49:37 CET", 0, std::nullopt},
      {"Sun, 06 Nov 1994 24:00:00 GMT", 0, std::nullopt},
      {"Sun, 06 Nov 1994 08:49 GMT", 0, std::nullopt},
      {"Sun, 06 Nox 1994 08:49:37 GMT", 0, std::nullopt},
      {"Sun, 36 Nov 1994 08:49:37 GMT", 0, std::nullopt},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(RetryAfterSeconds(row.value, row.now), row.seconds) << '"' << row.value << '"';
  }
}

}  // namespace
}  // namespace pellmarsh
