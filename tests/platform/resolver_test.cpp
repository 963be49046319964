#include "platform/resolver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pellmarsh {
namespace {

std::vector<std::string> Texts(const std::vector<SocketAddress>& addresses) {
  std::vector<std::string> texts;
  for (const SocketAddress& address : addresses) {
    texts.push_back(AddressText(address));
  }
  return texts;
}

std::vector<SocketAddress> Addresses(const std::vector<std::string>& texts) {
  std::vector<SocketAddress> addresses;
  for (const std::string& text : texts) {
    SocketAddress address;
    if (!ParseIPv6Address(text, address)) {
      ParseDottedAddress(text, address.address);
    }
    addresses.push_back(address);
  }
  return addresses;
}

TEST(OrderForRacing, TheFamiliesTakeTurnsIPv6FirstEachInItsOwnOrder) {
  const struct {
    std::vector<std::string> found;
    std::vector<std::string> ordered;
  } cases[] = {
      {{"127.0.0.1", "::1"}, {"::1", "127.0.0.1"}},
      {{"10.0.0.1", "10.0.0.2", "10.0.0.3", "2001:db8::1", "2001:db8::2"},
       {"2001:db8::1", "10.0.0.1", "2001:db8::2", "10.0.0.2", "10.0.0.3"}},
      {{"::1", "::2", "::3", "10.0.0.1"}, {"::1", "10.0.0.1", "::2", "::3"}},
      {{"10.0.0.1", "10.0.0.1", "::1", "::1"}, {"::1", "10.0.0.1"}},
      {{"10.0.0.2", "10.0.0.1"}, {"10.0.0.2", "10.0.0.1"}},
      {{}, {}},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(Texts(OrderForRacing(Addresses(row.found))), row.ordered)
        << ::testing::PrintToString(row.found);
  }
}

// Numeric names need no name server, so the system's own lookup can be asked.
TEST(SystemResolver, NumericNamesOfEitherFamilyResolveToThemselves) {
  SystemResolver resolver;
  for (const char* name : {"::1", "127.0.0.1", "2001:db8::1"}) {
    const LookupResult found = resolver.Lookup(name);
    ASSERT_EQ(found.error, 0) << name;
    EXPECT_EQ(Texts(found.addresses), std::vector<std::string>{name}) << name;
  }
}

}  // namespace
}  // namespace pellmarsh
