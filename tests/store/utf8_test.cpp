#include "store/utf8.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

TEST(IsUtf8, AcceptsOnlyWellFormedSequences) {
  const struct {
    const char* what;
    std::string text;
    bool utf8;
  } rows[] = {
      {"empty text", "", true},
      {"ASCII with a NUL", std::string("a\0b", 3), true},
      {"two, three and four bytes", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", true},
      {"the highest code point", "\xf4\x8f\xbf\xbf", true},
      {"a lone continuation byte", "a\x80", false},
      {"an overlong slash", "\xc0\xaf", false},
      {"an overlong three-byte form", "\xe0\x80\xaf", false},
      {"a surrogate", "\xed\xa0\x80", false},
      {"past U+10FFFF", "\xf4\x90\x80\x80", false},
      {"a sequence cut at the end", "caf\xc3", false},
      {"a lead byte followed by ASCII", "\xe2\x82x", false},
      {"a Latin-1 byte", "caf\xe9", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(IsUtf8(row.text), row.utf8) << row.what;
  }
}

}  // namespace
}  // namespace pellmarsh
