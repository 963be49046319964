#include "store/calendar.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

TEST(Calendar, UtcSecondsCountFrom1970AcrossLeapDaysAndCenturies) {
  const struct {
    const char* what;
    int64_t year;
    int month, day, hour, minute, second;
    int64_t seconds;
  } cases[] = {
      {"the epoch", 1970, 1, 1, 0, 0, 0, 0},
      {"the second before it", 1969, 12, 31, 23, 59, 59, -1},
      {"an HTTP example date", 1994, 11, 6, 8, 49, 37, 784111777},
      {"a leap day of a year divisible by 400", 2000, 2, 29, 0, 0, 0, 951782400},
      {"the first year a cookie date may name", 1601, 1, 1, 0, 0, 0, -11644473600},
      {"the last moment of four-digit years", 9999, 12, 31, 23, 59, 59, 253402300799},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(UtcSeconds(row.year, row.month, row.day, row.hour, row.minute, row.second),
              row.seconds)
        << row.what;
  }
}

TEST(Calendar, FebruaryHas29DaysInLeapYearsOnly) {
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);
  EXPECT_EQ(DaysInMonth(2023, 2), 28);
  EXPECT_EQ(DaysInMonth(2023, 4), 30);
  EXPECT_EQ(DaysInMonth(2023, 12), 31);
}

TEST(Calendar, MonthAbbreviationsAreThreeLettersInAnyCase) {
  EXPECT_EQ(MonthFromAbbreviation("Jan"), 1);
  EXPECT_EQ(MonthFromAbbreviation("sEP"), 9);
  EXPECT_EQ(MonthFromAbbreviation("DEC"), 12);
  EXPECT_EQ(MonthFromAbbreviation("June"), std::nullopt);
  EXPECT_EQ(MonthFromAbbreviation("ja"), std::nullopt);
  EXPECT_EQ(MonthFromAbbreviation(""), std::nullopt);
}

}  // namespace
}  // namespace pellmarsh
