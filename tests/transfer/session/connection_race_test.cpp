#include "transfer/session/connection_race.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <string>
#include <vector>

#include "support/fakes.h"
#include "support/loopback_socket.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

using Outcome = ConnectionRace::Outcome;

SocketAddress IPv6Loopback(uint16_t port) {
  SocketAddress address{0, port};
  ParseIPv6Address("::1", address);
  return address;
}

// A listening socket on loopback of either family; its port is in `at`.
TcpSocket Listening(SocketAddress& at, int backlog) {
  TcpSocket listener;
  listener.Create(at.family);
  listener.Bind(at);
  listener.Listen(backlog);
  listener.LocalAddress(at);
  return listener;
}

// A port of the family's loopback address that nothing listens on.
SocketAddress Closed(SocketAddress at) {
  Listening(at, 1);
  return at;
}

ConnectionRace::Progress PollUntilDecided(ConnectionRace& race) {
  ConnectionRace::Progress progress;
  testing::WaitFor([&] { return (progress = race.Poll()).outcome != Outcome::kWaiting; },
                   testing::kPeerTimeout);
  return progress;
}

class ConnectionRaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HasIPv6Loopback()) {
      GTEST_SKIP() << "this system has no IPv6 loopback address (::1)";
    }
  }

  testing::FakeClock clock;
};

TEST_F(ConnectionRaceTest, ASilentIPv6AddressGetsAQuarterSecondBeforeIPv4IsTried) {
  // A listener whose backlog is full leaves further connects pending.
  SocketAddress silent = IPv6Loopback(0);
  TcpSocket full = Listening(silent, 0);
  std::vector<TcpSocket> fillers(4);
  for (TcpSocket& filler : fillers) {
    filler.Create(AddressFamily::kIPv6);
    filler.SetNonBlocking();
    filler.Connect(silent);
  }
  SocketAddress answering{INADDR_LOOPBACK, 0};
  TcpSocket listener = Listening(answering, 4);

  ConnectionRace race(clock, {silent, answering});
  ASSERT_EQ(race.Prepare(), 0);
  ASSERT_EQ(race.Start(), kErrorWouldBlock);
  clock.tick += ConnectionRace::kAttemptDelayMs - 1;
  for (int poll = 0; poll < 20; ++poll) {
    if (race.Poll().outcome != Outcome::kWaiting) {
      GTEST_SKIP() << "this system completed the connect despite the full backlog";
    }
  }
  EXPECT_FALSE(listener.PollReadable().ready) << "IPv4 was tried before its time";
  EXPECT_TRUE(race.TakeLogLines().empty());

  clock.tick += 1;
  EXPECT_EQ(PollUntilDecided(race).outcome, Outcome::kConnected);
  EXPECT_EQ(race.winnerAddress(), answering);
  EXPECT_EQ(race.TakeLogLines(), std::vector<std::string>{"Connecting to host at 127.0.0.1, port " +
                                                          std::to_string(answering.port)});
  TcpSocket winner = race.TakeWinner();
  SocketAddress peer;
  ASSERT_EQ(winner.PeerAddress(peer), 0);
  EXPECT_EQ(peer, answering);
}

TEST_F(ConnectionRaceTest, EveryAddressRefusingEndsTheRaceAtOnceWithTheLastError) {
  const SocketAddress first = Closed(IPv6Loopback(0));
  const SocketAddress second = Closed({INADDR_LOOPBACK, 0});
  ConnectionRace race(clock, {first, second});
  ASSERT_EQ(race.Prepare(), 0);
  const int started = race.Start();
  const ConnectionRace::Progress progress =
      started == kErrorWouldBlock ? PollUntilDecided(race)
                                  : ConnectionRace::Progress{Outcome::kFailed, started};
  EXPECT_EQ(progress.outcome, Outcome::kFailed);
  EXPECT_EQ(progress.error, 10061);
  EXPECT_EQ(clock.tick, 0u);
  // The last failure is the caller's to tell.
  EXPECT_EQ(race.TakeLogLines(),
            (std::vector<std::string>{
                "Could not connect to ::1: Connection Refused by Host",
                "Connecting to host at 127.0.0.1, port " + std::to_string(second.port)}));
  EXPECT_EQ(race.WaitFd(), -1);
}

}  // namespace
}  // namespace pellmarsh
