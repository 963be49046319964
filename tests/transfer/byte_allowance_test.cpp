#include "transfer/byte_allowance.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace pellmarsh {
namespace {

// Steps every `everyMs` for ten seconds, each taking what is allowed up to a
// buffer; what they took is the limit's ten seconds, give or take a quarter
// second's head start.
TEST(ByteAllowance, StepsTakeTheLimitsRateHoweverOftenTheyCome) {
  const struct {
    int64_t perSecond;
    uint32_t everyMs;
  } rows[] = {{1'000'000, 1}, {1'000'000, 7}, {1'000'000, 40}, {3'000, 3}, {100, 10}};
  for (const auto& row : rows) {
    ByteAllowance allowance;
    int64_t taken = 0;
    for (uint32_t now = 5; now <= 10'005; now += row.everyMs) {
      const int64_t step = std::min<int64_t>(allowance.Available(now, row.perSecond), 65'536);
      allowance.Spend(step);
      taken += step;
      if (step == 0) {
        EXPECT_GE(allowance.MsUntilNextByte(row.perSecond), 1U);
      }
    }
    EXPECT_GE(taken, row.perSecond * 10 * 97 / 100) << row.perSecond << " every " << row.everyMs;
    EXPECT_LE(taken, row.perSecond * 10 + row.perSecond / 4 + 1) << row.perSecond;
  }
}

}  // namespace
}  // namespace pellmarsh
