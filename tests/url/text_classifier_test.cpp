#include "url/text_classifier.h"
#include "store/keys.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

TEST(ClassifyItem, UrlsComeFirstThenDosPathsThenControlBytes) {
  const std::tuple<const char*, const char*, const char*> rows[] = {
      {"www.host/page", "_url", "http://www.host/page"},
      {"ftp.host", "_url", "ftp://ftp.host"},
      {"see http://host/x for details", "_url", "see http://host/x for details"},
      {"abcdefghij://x", "_url", "abcdefghij://x"},
      {"abcdefghijk://x", "_text", "abcdefghijk://x"},
      {"WWW.host/x", "_text", "WWW.host/x"},
      {"http://host/\tx", "_url", "http://host/\tx"},
      {"host/page", "_text", "host/page"},
      {"D:\\dir\\f.zip", "_file", "D:\\dir\\f.zip"},
      {"\"D:\\dir\\f.zip\"", "_file", "\"D:\\dir\\f.zip\""},
      {"dir:\\f.zip", "_text", "dir:\\f.zip"},
      {"D:/dir/f.zip", "_text", "D:/dir/f.zip"},
      {"one two\r\nthree\bfour", "_text", "one two\r\nthree\bfour"},
      {"one\ttwo", "_data", "one\ttwo"},
      {"caf\xe9", "_data", "caf\xe9"},
      {"", "_text", ""},
  };
  for (const auto& [value, type, after] : rows) {
    Item item;
    item.SetProp(key::kValue, value);
    ClassifyItem(item);
    EXPECT_EQ(item.GetProp(key::kType), type) << value;
    EXPECT_EQ(item.GetProp(key::kValue), after) << value;
  }
}

}  // namespace
}  // namespace pellmarsh
