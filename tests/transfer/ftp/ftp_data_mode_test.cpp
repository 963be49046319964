#include "transfer/ftp/ftp_data_mode.h"

#include <gtest/gtest.h>

#include <string>

namespace pellmarsh {
namespace {

std::string OrderText(FtpDataMode mode, std::string_view remembered) {
  std::string text;
  for (const FtpDataCommand command : DataCommandOrder(mode, remembered)) {
    text += (text.empty() ? "" : " ") + std::string(DataCommandName(command));
  }
  return text;
}

TEST(FtpDataModeTest, TheRememberedCommandGoesFirstWhereTheModeAllowsIt) {
  using enum FtpDataMode;
  const struct {
    FtpDataMode mode;
    const char* remembered;
    const char* order;
  } rows[] = {
      {kPassiveThenActive, "", "EPSV PASV PORT"},
      {kPassiveThenActive, "PASV", "PASV EPSV PORT"},
      {kPassiveThenActive, "PORT", "PORT EPSV PASV"},
      {kPassiveThenActive, "pasv", "EPSV PASV PORT"},
      {kPassiveOnly, "", "EPSV PASV"},
      {kPassiveOnly, "PORT", "EPSV PASV"},
      {kPassiveOnly, "PASV", "PASV EPSV"},
      {kActiveOnly, "PASV", "PORT"},
      {static_cast<FtpDataMode>(7), "", "EPSV PASV PORT"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(OrderText(row.mode, row.remembered), row.order)
        << "mode " << static_cast<int>(row.mode) << ", remembered \"" << row.remembered << '"';
  }
}

TEST(FtpDataModeTest, OnlyANotDoneRefusalLetsTheNextCommandTry) {
  for (const char* line : {"500 EPSV not understood", "501 Syntax", "502 Not implemented",
                           "504 Not for that", "522 Network protocol not supported"}) {
    EXPECT_TRUE(RefusesDataCommand(line)) << line;
  }
  for (const char* line : {"530 Not logged in", "550 Denied", "425 Cannot open", "421 Bye", "50"}) {
    EXPECT_FALSE(RefusesDataCommand(line)) << line;
  }
}

}  // namespace
}  // namespace pellmarsh
