#include "transfer/ftp/ftp_reply_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace pellmarsh {
namespace {

constexpr uint32_t kLimit = 1000;

TEST(FtpReplyLinesTest, EachReplyHasItsLimitFromItsOwnFirstByte) {
  const struct {
    const char* what;
    std::string bytes;
    int lines;           // taken at 500
    bool overdueAt1200;  // for the rest, from 500 on
  } rows[] = {
      {"a reply taken whole leaves no clock running", "220 ready\r\n", 1, false},
      {"a reply's continuation keeps the first byte's time", "220-one\r\n220-two", 1, true},
      {"the next reply's first bytes start a clock of their own", "220 ready\r\n331 pa", 1, false},
  };
  for (const auto& row : rows) {
    FtpReplyLines replies;
    ASSERT_TRUE(replies.Append(row.bytes.data(), row.bytes.size(), 0)) << row.what;
    bool tooLong = false;
    int taken = 0;
    while (replies.Take(500, tooLong)) {
      ++taken;
    }
    EXPECT_EQ(taken, row.lines) << row.what;
    EXPECT_EQ(replies.Overdue(1200, kLimit), row.overdueAt1200) << row.what;
    EXPECT_FALSE(tooLong) << row.what;
  }
}

TEST(FtpReplyLinesTest, TextThatCannotEndInTimeIsRefused) {
  FtpReplyLines endless;
  const std::string noEnd(FtpReplyLines::kLongestLine + 1, 'x');
  EXPECT_FALSE(endless.Append(noEnd.data(), noEnd.size(), 0)) << "one line without its end";

  FtpReplyLines chatty;
  const std::string line = "220-" + std::string(1000, 'x') + "\r\n";
  bool tooLong = false;
  size_t taken = 0;
  for (size_t sent = 0; sent <= FtpReplyLines::kLongestReply && !tooLong; sent += line.size()) {
    ASSERT_TRUE(chatty.Append(line.data(), line.size(), 0));
    taken += chatty.Take(0, tooLong) ? 1 : 0;
  }
  EXPECT_TRUE(tooLong) << "a reply that never ends, after " << taken << " lines";
}

}  // namespace
}  // namespace pellmarsh
