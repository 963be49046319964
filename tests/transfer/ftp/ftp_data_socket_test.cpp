#include "transfer/ftp/ftp_data_socket.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <deque>
#include <vector>

namespace pellmarsh {
namespace {

constexpr int kAlreadyConnected = 10056;

// Answers each kind of call from its own queue of error numbers (0 when empty)
// and hands out ports 4000, 4001, ... for sockets bound to port 0.
class ScriptedCalls final : public ListenerCalls {
 public:
  int Create() override { return Next(create); }
  int Bind(const SocketAddress& at) override {
    binds.push_back(at);
    port_ = at.port != 0 ? at.port : nextPort_++;
    return Next(bind);
  }
  int LocalAddress(SocketAddress& bound) override {
    bound = {binds.back().address, port_};
    return 0;
  }
  int Listen(int) override {
    ++listens;
    return Next(listen);
  }
  void Close() override {}

  std::deque<int> create, bind, listen;
  std::vector<SocketAddress> binds;
  int listens = 0;

 private:
  static int Next(std::deque<int>& errors) {
    if (errors.empty()) {
      return 0;
    }
    const int error = errors.front();
    errors.pop_front();
    return error;
  }
  uint16_t port_ = 0;
  uint16_t nextPort_ = 4000;
};

TEST(FtpDataSocketTest, EachFailureOfTheReservationHasItsMessage) {
  const struct {
    const char* what;
    std::deque<int> create, bind, listen;
    std::string failure;
    int listens;
  } rows[] = {
      // clang-format off
      {"all goes well", {}, {}, {}, "", 1},
      {"no socket to be had", {10024}, {}, {}, "Could not create a data socket for ftp.", 0},
      {"the bind is refused", {}, {10048}, {}, "Could not bind ftp data socket: Address In Use", 0},
      {"a bind that says already connected is ignored", {}, {kAlreadyConnected}, {}, "", 1},
      {"the listen is refused", {}, {}, {10055},
       "Could not listen on ftp data socket: No More Buffers Available", 1},
      {"listen says already connected once", {}, {}, {kAlreadyConnected}, "", 2},
      {"listen keeps saying already connected", {}, {}, {kAlreadyConnected, kAlreadyConnected,
       kAlreadyConnected, kAlreadyConnected},
       "Could not listen on ftp data socket: Socket Is Already Connected", kDataListenAttempts},
      // clang-format on
  };
  for (const auto& row : rows) {
    ScriptedCalls calls;
    calls.create = row.create;
    calls.bind = row.bind;
    calls.listen = row.listen;
    const DataListenResult result = ListenForData(calls, {INADDR_LOOPBACK, 0});
    EXPECT_EQ(result.failure, row.failure) << row.what;
    EXPECT_EQ(calls.listens, row.listens) << row.what;
    if (row.failure.empty()) {
      EXPECT_EQ(result.bound.address, INADDR_LOOPBACK) << row.what;
      EXPECT_EQ(result.bound.port, 4000) << row.what;
    }
  }
}

TEST(FtpDataSocketTest, ARetriedListenBindsAgainToThePortJustRead) {
  ScriptedCalls calls;
  calls.listen = {kAlreadyConnected};
  ListenForData(calls, {INADDR_LOOPBACK, 0});
  ASSERT_EQ(calls.binds.size(), 2u);
  EXPECT_EQ(calls.binds[0].port, 0);
  EXPECT_EQ(calls.binds[1].port, 4000);
}

}  // namespace
}  // namespace pellmarsh
