#include "store/byte_figures.h"

#include <gtest/gtest.h>

#include <limits>

namespace pellmarsh {
namespace {

TEST(ByteFigures, GroupsDigitsByThousandsWithCommas) {
  EXPECT_EQ(GroupedInteger(999), "999");
  EXPECT_EQ(GroupedInteger(200'000'000), "200,000,000");
  EXPECT_EQ(GroupedInteger(-1234567), "-1,234,567");
  EXPECT_EQ(GroupedInteger(std::numeric_limits<int64_t>::min()), "-9,223,372,036,854,775,808");
}

TEST(ByteFigures, ScalesToDecimalUnitsWithoutRoundingUp) {
  const std::pair<int64_t, const char*> rows[] = {
      {999, "999 B"},
      {1499, "1.4 kB"},
      {999'999, "999 kB"},  // not yet a MB
      {37'500'000, "37.5 MB"},
      {200'000'000, "200 MB"},
      {std::numeric_limits<int64_t>::max(), "9.2 EB"},
      {-5, "0 B"},
  };
  for (const auto& [bytes, text] : rows) {
    EXPECT_EQ(ScaledBytes(bytes), text) << bytes;
  }
}

TEST(ByteFigures, RatesInTheChosenUnit) {
  EXPECT_EQ(RateInUnit(1'400'000, true), "1.4 MB/s");
  // 1,706 bytes a second are 102,360 bytes a minute: 99 kilobytes and 9 tenths.
  EXPECT_EQ(RateInUnit(1706, false), "99.9 KPM");
  EXPECT_EQ(RateInUnit(0, false), "0.0 KPM");
}

}  // namespace
}  // namespace pellmarsh
