#include "transfer/session_log.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(item.GetProp("log"), "00000000005 one\r\n00000000006 two\r\n");
  EXPECT_EQ(item.GetProp("process"), "two");
}

TEST(SessionLog, SentCommandsShowLineEndsAndNeverAPassword) {
  EXPECT_EQ(LoggedSendLine("USER anonymous\r\n"), "Send Line: USER anonymous||");
  EXPECT_EQ(LoggedSendLine("PASS secret\r\n"), "PASS  (concealed)");
  EXPECT_EQ(LoggedSendLine("GET / HTTP/1.0\r\nAuthorization: Basic dTpw\r\nHost: h\r\n\r\n"),
            "Send Line: GET / HTTP/1.0||Authorization: Basic (concealed)||Host: h||||");
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
    ApplyFailureOutcome(item, kOutcomeRetry, events);
    delays.push_back(item.GetPropInt("retrydelay"));
  }
  EXPECT_EQ(delays[0], 10);
  EXPECT_EQ(delays[1], 20);
  EXPECT_EQ(delays[2], 30);
  EXPECT_EQ(delays[59], 600);
  EXPECT_EQ(delays[61], 600);
  EXPECT_EQ(item.GetPropInt("retrycount"), 62);
  EXPECT_EQ(item.GetPropInt("retrytimeout"), 600);
  EXPECT_EQ(item.GetPropInt("status"), 5);
  EXPECT_EQ(events.raised.size(), 62u);
  EXPECT_EQ(events.raised[0], "FAIL");
}

TEST_F(FailureOutcomeTest, ADelayBetweenStepsStillGrowsByTen) {
  item.SetPropInt("retrydelay", 595);
  ApplyFailureOutcome(item, kOutcomeRetry, events);
  EXPECT_EQ(item.GetPropInt("retrydelay"), 605);
  ApplyFailureOutcome(item, kOutcomeRetry, events);
  EXPECT_EQ(item.GetPropInt("retrydelay"), 605);
}

TEST_F(FailureOutcomeTest, RudeRetriesWaitOneSecondEveryTime) {
  item.SetPropInt("ruderetries", 1);
  for (int failure = 0; failure < 3; ++failure) {
    ApplyFailureOutcome(item, kOutcomeRetry, events);
    EXPECT_EQ(item.GetPropInt("retrydelay"), 1);
    EXPECT_EQ(item.GetPropInt("retrytimeout"), 1);
  }
}

TEST_F(FailureOutcomeTest, GoingOfflineWaitsFiveSecondsWithoutAnEvent) {
  item.SetPropInt("retrydelay", 300);
  ApplyFailureOutcome(item, kOutcomeOffline, events);
  EXPECT_EQ(item.GetPropInt("status"), 5);
  EXPECT_EQ(item.GetPropInt("retrydelay"), 5);
  EXPECT_EQ(item.GetPropInt("retrytimeout"), 5);
  EXPECT_EQ(item.GetPropInt("retrycount"), 1);
  EXPECT_TRUE(events.raised.empty());
  ApplyFailureOutcome(item, kOutcomeRetry, events);
  EXPECT_EQ(item.GetPropInt("retrydelay"), 10);
}

TEST_F(FailureOutcomeTest, APermanentFailureLeavesTheRetryCountersAlone) {
  item.SetPropInt("retrycount", 4);
  item.SetPropInt("retrydelay", 40);
  item.SetPropInt("retrytimeout", 12);
  ApplyFailureOutcome(item, kOutcomePermanent, events);
  EXPECT_EQ(item.GetPropInt("status"), 3);
  EXPECT_EQ(item.GetPropInt("retrycount"), 4);
  EXPECT_EQ(item.GetPropInt("retrydelay"), 40);
  EXPECT_EQ(item.GetPropInt("retrytimeout"), 12);
  EXPECT_EQ(events.raised, std::vector<std::string>{"BROKEN"});
  item.SetPropInt("status", 100);
  ApplyFailureOutcome(item, 100, events);
  EXPECT_EQ(item.GetPropInt("status"), 100);
  EXPECT_EQ(events.raised.size(), 1u);
}

}  // namespace
}  // namespace pellmarsh
