#include "transfer/session_log.h"

#include <gtest/gtest.h>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/fakes.h"
#include "transfer/socket_error_text.h"

namespace pellmarsh {
namespace {

TEST(SessionLog, ALineIsTheTickInElevenDigitsTheTextAndCrLf) {
  EXPECT_EQ(FormatLogLine(1234, "Start: ftp://host/a"), "00000001234 Start: ftp://host/a\r\n");
  // The tick is shown as a signed 32-bit number, as it wraps.
  EXPECT_EQ(FormatLogLine(0xFFFFFFFFu, "x"), "-0000000001 x\r\n");
  Item item;
  AppendLogLine(item, 5, "one");
  AppendLogLine(item, 6, "two");
  EXPECT_EQ(item.GetProp(key::kLog), "00000000005 one\r\n00000000006 two\r\n");
  EXPECT_EQ(item.GetProp(key::kProcess), "two");
}

TEST(SessionLog, SentCommandsShowLineEndsAndNeverAPassword) {
  EXPECT_EQ(LoggedSendLine("USER anonymous\r\n"), "Send Line: USER anonymous||");
  EXPECT_EQ(LoggedSendLine("PASS secret\r\n"), "PASS  (concealed)");
  EXPECT_EQ(LoggedSendLine("GET / HTTP/1.0\r\nAuthorization: Basic dTpw\r\nHost: h\r\n\r\n"),
            "Send Line: GET / HTTP/1.0||Authorization: Basic (concealed)||Host: h||||");
  EXPECT_EQ(LoggedSendLine("GET http://h/ HTTP/1.0\r\nAuthorization: Basic dTpw\r\n"
                           "Proxy-Authorization: Basic cDpx\r\n\r\n"),
            "Send Line: GET http://h/ HTTP/1.0||Authorization: Basic (concealed)||"
            "Proxy-Authorization: Basic (concealed)||||");
  EXPECT_EQ(LoggedSendLine("GET / HTTP/1.0\r\nReferer: r\r\nCookie: sid=1; a=2\r\n\r\n"),
            "Send Line: GET / HTTP/1.0||Referer: r||Cookie: (concealed)||||");
  EXPECT_EQ(LoggedReceivedLine("set-COOKIE: sid=1; HttpOnly"),
            "Recv Line: set-COOKIE: (concealed)");
  EXPECT_EQ(LoggedReceivedLine("Content-Length: 5"), "Recv Line: Content-Length: 5");
}

TEST(SocketErrorText, KnownNumbersHaveWordsOthersTheirNumber) {
  EXPECT_EQ(SocketErrorText(10061), "Connection Refused by Host");
  EXPECT_EQ(SocketErrorText(11001), "Host Not Found");
  EXPECT_EQ(SocketErrorText(10057), "Socket Error: 10057");
  EXPECT_EQ(SocketErrorText(2), "Socket Error: 2");
}

class FailureOutcomeTest : public ::testing::Test {
 protected:
  testing::RecordingEvents events;
  Item item;
};

TEST_F(FailureOutcomeTest, RetryDelaysGrowByTenUpToTenMinutes) {
  std::vector<int> delays;
  for (int failure = 0; failure < 62; ++failure) {
    ApplyFailureOutcome(item, FailOutcome::kRetry, events);
    delays.push_back(item.GetPropInt(key::kRetryDelay));
  }
  EXPECT_EQ(delays[0], 10);
  EXPECT_EQ(delays[1], 20);
  EXPECT_EQ(delays[2], 30);
  EXPECT_EQ(delays[59], 600);
  EXPECT_EQ(delays[61], 600);
  EXPECT_EQ(item.GetPropInt(key::kRetryCount), 62);
  EXPECT_EQ(item.GetPropInt(key::kRetryTimeout), 600);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry);
  EXPECT_EQ(events.raised.size(), 62u);
  EXPECT_EQ(events.raised[0], "FAIL");
}

TEST_F(FailureOutcomeTest, ADelayBetweenStepsStillGrowsByTen) {
  item.SetPropInt(key::kRetryDelay, 595);
  ApplyFailureOutcome(item, FailOutcome::kRetry, events);
  EXPECT_EQ(item.GetPropInt(key::kRetryDelay), 605);
  ApplyFailureOutcome(item, FailOutcome::kRetry, events);
  EXPECT_EQ(item.GetPropInt(key::kRetryDelay), 605);
}

TEST_F(FailureOutcomeTest, RudeRetriesWaitOneSecondEveryTime) {
  item.SetPropInt(key::kRudeRetries, 1);
  for (int failure = 0; failure < 3; ++failure) {
    ApplyFailureOutcome(item, FailOutcome::kRetry, events);
    EXPECT_EQ(item.GetPropInt(key::kRetryDelay), 1);
    EXPECT_EQ(item.GetPropInt(key::kRetryTimeout), 1);
  }
}

TEST_F(FailureOutcomeTest, GoingOfflineWaitsFiveSecondsWithoutAnEvent) {
  item.SetPropInt(key::kRetryDelay, 300);
  ApplyFailureOutcome(item, FailOutcome::kOffline, events);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry);
  EXPECT_EQ(item.GetPropInt(key::kRetryDelay), 5);
  EXPECT_EQ(item.GetPropInt(key::kRetryTimeout), 5);
  EXPECT_EQ(item.GetPropInt(key::kRetryCount), 1);
  EXPECT_TRUE(events.raised.empty());
  ApplyFailureOutcome(item, FailOutcome::kRetry, events);
  EXPECT_EQ(item.GetPropInt(key::kRetryDelay), 10);
}

TEST_F(FailureOutcomeTest, APermanentFailureLeavesTheRetryCountersAlone) {
  item.SetPropInt(key::kRetryCount, 4);
  item.SetPropInt(key::kRetryDelay, 40);
  item.SetPropInt(key::kRetryTimeout, 12);
  ApplyFailureOutcome(item, FailOutcome::kPermanent, events);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusFailed);
  EXPECT_EQ(item.GetPropInt(key::kRetryCount), 4);
  EXPECT_EQ(item.GetPropInt(key::kRetryDelay), 40);
  EXPECT_EQ(item.GetPropInt(key::kRetryTimeout), 12);
  EXPECT_EQ(events.raised, std::vector<std::string>{"BROKEN"});
  item.SetPropInt(key::kStatus, kStatusTransferring);
  ApplyFailureOutcome(item, static_cast<FailOutcome>(100), events);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusTransferring);
  EXPECT_EQ(events.raised.size(), 1u);
}

}  // namespace
}  // namespace pellmarsh
