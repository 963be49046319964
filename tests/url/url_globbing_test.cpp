#include "url/url_globbing.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

using Urls = std::vector<std::string>;

TEST(ExpandUrlGlob, RangesAndSetsGiveOneAddressEachInCurlsOrder) {
  const struct {
    const char* text;
    Urls urls;
  } rows[] = {
      {"http://host/img[1-3].jpg",
       {"http://host/img1.jpg", "http://host/img2.jpg", "http://host/img3.jpg"}},
      {"http://host/[08-10]", {"http://host/08", "http://host/09", "http://host/10"}},
      {"http://host/[001-120:60]", {"http://host/001", "http://host/061"}},
      {"http://host/[0-100:40]", {"http://host/0", "http://host/40", "http://host/80"}},
      {"http://host/[a-e:2]", {"http://host/a", "http://host/c", "http://host/e"}},
      {"http://host/[Y-Z]", {"http://host/Y", "http://host/Z"}},
      {"http://host/[5-5]", {"http://host/5"}},
      {"http://{one,two}.host/{,x}",
       {"http://one.host/", "http://one.host/x", "http://two.host/", "http://two.host/x"}},
      {"ftp://host/[a-b][1-2]",
       {"ftp://host/a1", "ftp://host/a2", "ftp://host/b1", "ftp://host/b2"}},
      {"http://host/a%5B1-2%5D.jpg", {"http://host/a%5B1-2%5D.jpg"}},
      {"http://[::1]:8080/f[1-2]", {"http://[::1]:8080/f1", "http://[::1]:8080/f2"}},
      {"http://user@[2001:db8::1]/", {"http://user@[2001:db8::1]/"}},
      {"[::1]:8080/{a,b}", {"[::1]:8080/a", "[::1]:8080/b"}},
      {"host/\xc3\xa4{a,b}",
       {"host/\xc3\xa4"
        "a",
        "host/\xc3\xa4"
        "b"}},
      {"", {""}},
  };
  for (const auto& row : rows) {
    const UrlGlob glob = ExpandUrlGlob(row.text);
    EXPECT_EQ(glob.urls, row.urls) << row.text;
    EXPECT_EQ(glob.error, "") << row.text;
    EXPECT_EQ(glob.expands, row.urls.size() != 1 || row.urls[0] != row.text) << row.text;
  }
}

TEST(ExpandUrlGlob, AMistakeNamesItsPosition) {
  const std::pair<const char*, const char*> rows[] = {
      {"http://host/a[1-3.jpg", "Unmatched [ at position 14"},
      {"http://host/a{b,c", "Unmatched { at position 14"},
      {"http://host/a]", "Unmatched ] at position 14"},
      {"http://host/{a,b]", "Unmatched ] at position 17"},
      {"http://host/\xc3\xa4}", "Unmatched } at position 14"},
      {"http://host/[1-[2-3]]", "Nested [ at position 16"},
      {"http://host/{a,{b}}", "Nested { at position 16"},
      {"http://host/[9-1]", "Range ends below its start at position 13"},
      {"http://host/[z-a]", "Range ends below its start at position 13"},
      {"http://host/[1-9:0]", "Range step of 0 at position 13"},
      {"http://host/[a-9]", "Range mixes letters and numbers at position 13"},
      {"http://host/[a-Z]", "Malformed range at position 13"},
      {"http://host/[]", "Malformed range at position 13"},
      {"http://host/[1-]", "Malformed range at position 13"},
      {"http://host/[1-99999999999999999999999]", "Malformed range at position 13"},
      {"http://host/{}", "Empty set at position 13"},
      {"http://[::g]/", "Malformed range at position 8"},
  };
  for (const auto& [text, error] : rows) {
    const UrlGlob glob = ExpandUrlGlob(text);
    EXPECT_EQ(glob.error, error) << text;
    EXPECT_TRUE(glob.urls.empty() && glob.expands) << text;
  }
}

// Counted before building: a product past the limit, however huge, is refused at once.
TEST(ExpandUrlGlob, MoreThanTheMostIsRefusedWithoutBuildingAList) {
  const struct {
    const char* text;
    size_t count;
  } rows[] = {
      {"http://host/[1-10000]", 10000},
      {"http://host/[1-100][1-100]", 10000},
      {"http://host/[1-10001]", 0},
      {"http://host/[1-101][1-100]", 0},
      {"http://host/[0-18446744073709551615]", 0},
      {"http://host/[0-18446744073709551615][0-18446744073709551615][a-z]", 0},
      {"http://host/[1-9999][1-9999][1-9999][1-9999][1-9999]", 0},
  };
  for (const auto& row : rows) {
    const UrlGlob glob = ExpandUrlGlob(row.text);
    EXPECT_EQ(glob.urls.size(), row.count) << row.text;
    EXPECT_EQ(glob.error, row.count == 0 ? kTooManyGlobUrls : "") << row.text;
  }
  EXPECT_EQ(ExpandUrlGlob("http://host/[1-10000]").urls.back(), "http://host/10000");
  EXPECT_EQ(ManyGlobUrlsQuestion(5000), "This address expands to 5,000 downloads. Add them all?");
}

}  // namespace
}  // namespace pellmarsh
