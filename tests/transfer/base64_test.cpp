#include "transfer/base64.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

TEST(Base64, EncodesEveryOctetWithPaddingOnOneLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"tester:secret", "dGVzdGVyOnNlY3JldA=="},
      {"\xff\xfe\xfd\x80", "//79gA=="},  // bytes above 127 are unsigned octets
      {std::string("a\0b", 3), "YQBi"},
  };
  for (const auto& [bytes, encoded] : cases) {
    EXPECT_EQ(Base64Encode(bytes), encoded) << bytes;
  }
  EXPECT_EQ(Base64Encode(std::string(300, 'x')).find('\n'), std::string::npos);
}

}  // namespace
}  // namespace pellmarsh
