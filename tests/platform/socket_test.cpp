#include "platform/socket.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace pellmarsh
