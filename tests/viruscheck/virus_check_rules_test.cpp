#include "viruscheck/virus_check_rules.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

TEST(CodeList, EntriesThatDoNotBeginWithADigitMatchOnlyTheImpossibleCode) {
  const struct {
    const char* list;
    int exitCode;
    bool holds;
  } rows[] = {
      {"0", 0, true},
      {"1,2", 2, true},
      {"1,2", 0, false},
      {" 0", 0, false},
      {"1,,2", 0, false},
      {"", 0, false},
      {"0", 7, false},
      {"-3", -3, true},
      {"x", -99999, true},
      {"1, 2", 2, true},
      {"12abc", 12, true},
      {"1,2,", 0, false},
      {"4294967297", 1, false},  // beyond 32 bits, it is no exit code
      {"99999999999999999999,-4294967296", 0, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(CodeListHolds(row.list, row.exitCode), row.holds)
        << "\"" << row.list << "\" with " << row.exitCode;
  }
}

TEST(CheckerCommand, TheLogShowsTheQuotedPathWhileTheCheckerGetsItExactly) {
  EXPECT_EQ(CheckerCommandLine("scan /quiet %1 /report", "P"), "scan /quiet \"P\" /report");
  EXPECT_EQ(CheckerCommandLine("%1", "/tmp/a b"), "\"/tmp/a b\"");

  const std::string path = "/tmp/-odd \"name\" %1.exe";
  EXPECT_EQ(CheckerArguments("/usr/bin/clamscan", "--no-summary %1", path),
            (std::vector<std::string>{"/usr/bin/clamscan", "--no-summary", path}));
  EXPECT_EQ(CheckerArguments("scan", "\"/log file\" --file=%1 x%1", "f"),
            (std::vector<std::string>{"scan", "/log file", "--file=f", "x%1"}));
  EXPECT_EQ(CheckerArguments("scan", "  %1  ", ""), (std::vector<std::string>{"scan", ""}));
}

}  // namespace
}  // namespace pellmarsh
