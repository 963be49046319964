// The real program killed while a download's parts write must finish the file
// byte-identical, fetching again little more than what the kills cut off.
#include <gtest/gtest.h>

#include "support/killed_download.h"

namespace pellmarsh {
namespace {

TEST(KilledDownload, EveryRestartGoesOnWhereEachPartsBytesEndOnDisk) {
  constexpr int64_t kSize = int64_t{24} << 20;
  const testing::KilledDownload result = testing::RunKilledDownload(
      {.program = PELLMARSH_PROGRAM, .size = kSize, .kills = 3, .seed = 7, .longestRunMs = 300});
  ASSERT_EQ(result.problem, "");
  EXPECT_EQ(result.kills, 3);
  EXPECT_TRUE(result.identical);
  // Each kill may cost each part the block it was writing and what the
  // server had sent it unread, the first answer's part too; the map the data
  // file last saved would cost far more.
  EXPECT_GE(result.sentBytes, kSize);
  EXPECT_LT(result.sentBytes, kSize + 6 * (int64_t{1} << 20));
}

}  // namespace
}  // namespace pellmarsh
