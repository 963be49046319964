#include "platform/socket.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <string>

#include "support/loopback_socket.h"

namespace pellmarsh {
namespace {

TEST(ParseDottedAddress, EveryNumericFormTheCLibraryReadsIsAnAddress) {
  const struct {
    std::string text;
    bool parsed;
    std::string address;
  } cases[] = {
      {"127.0.0.1", true, "127.0.0.1"},
      {"127.1", true, "127.0.0.1"},
      {"2130706433", true, "127.0.0.1"},
      {"0x7f.1", true, "127.0.0.1"},
      {"10.1.513", true, "10.1.2.1"},
      {"1.2.3.256", false, ""},
      {"1.2.3.4.5", false, ""},
      {"127.0.0.1 x", false, ""},
      {std::string("127.0.0.1\0.9", 12), false, ""},
      {"1example.com", false, ""},
      {"", false, ""},
  };
  for (const auto& row : cases) {
    uint32_t address = 0;
    EXPECT_EQ(ParseDottedAddress(row.text, address), row.parsed) << row.text;
    if (row.parsed) {
      EXPECT_EQ(DottedQuad(address), row.address) << row.text;
    }
  }
}

TEST(ParseIPv6Address, StandardFormsParseAndPrintInTheirCanonicalForm) {
  const struct {
    std::string text;
    const char* canonical;  // nullptr: not an address
  } cases[] = {
      {"::1", "::1"},
      {"2001:DB8:0:0:0:0:0:1", "2001:db8::1"},
      {"::ffff:1.2.3.4", "::ffff:1.2.3.4"},
      {"fe80::1%eth0", nullptr},
      {"[::1]", nullptr},
      {"1.2.3.4", nullptr},
      {"zz::1", nullptr},
      {std::string("::1\0", 4), nullptr},
      {"", nullptr},
  };
  for (const auto& row : cases) {
    SocketAddress address{0, 80};
    ASSERT_EQ(ParseIPv6Address(row.text, address), row.canonical != nullptr) << row.text;
    if (row.canonical) {
      EXPECT_TRUE(address.ipv6()) << row.text;
      EXPECT_EQ(address.port, 80) << row.text;
      EXPECT_EQ(AddressText(address), row.canonical) << row.text;
    }
  }
  EXPECT_EQ(AddressText({0x7F000001, 0}), "127.0.0.1");
}

TEST(TcpSocket, ConnectsAcceptsAndNamesBothEndsOverIPv6) {
  if (!testing::HasIPv6Loopback()) {
    GTEST_SKIP() << "this system has no IPv6 loopback address (::1)";
  }
  SocketAddress loopback;
  ASSERT_TRUE(ParseIPv6Address("::1", loopback));
  TcpSocket listener;
  ASSERT_EQ(listener.Create(AddressFamily::kIPv6), 0);
  ASSERT_EQ(listener.Bind(loopback), 0);
  ASSERT_EQ(listener.Listen(1), 0);
  SocketAddress listening;
  ASSERT_EQ(listener.LocalAddress(listening), 0);
  EXPECT_EQ(AddressText(listening), "::1");

  TcpSocket client;
  ASSERT_EQ(client.Create(AddressFamily::kIPv6), 0);
  ASSERT_EQ(client.Connect(listening), 0);
  SocketAddress peer;
  int error = 0;
  TcpSocket accepted = listener.Accept(peer, error);
  ASSERT_TRUE(accepted.valid()) << error;
  SocketAddress clientEnd;
  ASSERT_EQ(client.LocalAddress(clientEnd), 0);
  EXPECT_EQ(peer, clientEnd);
  SocketAddress serverEnd;
  ASSERT_EQ(client.PeerAddress(serverEnd), 0);
  EXPECT_EQ(serverEnd, listening);
}

}  // namespace
}  // namespace pellmarsh
