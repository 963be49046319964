#include "store/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>

namespace pellmarsh {
namespace {

struct IntegerCase {
  const char* text;
  int64_t expected;
};

TEST(ParseLeadingInteger, ReadsSignAndDigitsAfterBlanksAndStopsAtTheFirstOtherCharacter) {
  const IntegerCase cases[] = {
      {"", 0},
      {"abc", 0},
      {"12abc", 12},
      {"-3", -3},
      {"+7", 7},
      {"  \t42", 42},
      {"4 2", 4},
      {"- 5", 0},
      {"--5", 0},
      {"0x10", 0},
      {"007", 7},
      {"1.9", 1},
      {"\n-0", 0},
      {"5000000000", 5000000000},
      {"-2147483648", -2147483648LL},
      {"99999999999999999999", std::numeric_limits<int64_t>::max()},
      {"-99999999999999999999", std::numeric_limits<int64_t>::min()},
      {"9223372036854775807", std::numeric_limits<int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<int64_t>::min()},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(ParseLeadingInteger(row.text), row.expected) << "text \"" << row.text << "\"";
  }
}

TEST(ParseLeadingReal, ReadsFractionAndExponentAndIgnoresWhatFollows) {
  EXPECT_DOUBLE_EQ(ParseLeadingReal("100.000000"), 100.0);
  EXPECT_DOUBLE_EQ(ParseLeadingReal("  -2.5kb"), -2.5);
  EXPECT_DOUBLE_EQ(ParseLeadingReal("+1e3"), 1000.0);
  EXPECT_DOUBLE_EQ(ParseLeadingReal("1e"), 1.0);
  EXPECT_DOUBLE_EQ(ParseLeadingReal(".5"), 0.5);
  EXPECT_DOUBLE_EQ(ParseLeadingReal("abc"), 0.0);
  EXPECT_DOUBLE_EQ(ParseLeadingReal(""), 0.0);
  EXPECT_DOUBLE_EQ(ParseLeadingReal("-+1"), 0.0);
  // Words a setting may hold by mistake are not numbers: a limit of "inf"
  // must not read as an unlimited speed, nor "nan" poison the budget.
  for (const char* word : {"inf", "-infinity", "INF", "nan", " NaN(1)", "."}) {
    EXPECT_EQ(ParseLeadingReal(word), 0.0) << word;
  }
}

TEST(FormatReal, WritesSixDecimalsWithAPointWhateverTheLocale) {
  // The front end runs with the user's locale; stored numbers must not follow it.
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  EXPECT_EQ(FormatReal(99999), "99999.000000");
  EXPECT_EQ(FormatReal(0.1234567), "0.123457");
  EXPECT_EQ(FormatReal(-2.5), "-2.500000");
  EXPECT_DOUBLE_EQ(ParseLeadingReal("1.5"), 1.5);
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(FormatInteger, WritesPlainDecimalLikePrintf) {
  EXPECT_EQ(FormatInteger(0), "0");
  EXPECT_EQ(FormatInteger(-2147483648LL), "-2147483648");
  EXPECT_EQ(FormatInteger(5368709120LL), "5368709120");
}

}  // namespace
}  // namespace pellmarsh
