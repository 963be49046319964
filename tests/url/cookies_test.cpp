#include "url/cookies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace pellmarsh {

void PrintTo(const Cookie& cookie, std::ostream* out) {
  *out << FormatCookieJar({cookie});
}

namespace {

// 2020-09-13 12:26:40 UTC
constexpr int64_t kNow = 1600000000;
constexpr int64_t kEarliest = std::numeric_limits<int64_t>::min();

// `flags` as the stored jar writes them: host-only, Secure, HttpOnly.
Cookie Made(std::string name, std::string value, std::string domain, std::string path,
            std::string_view flags, int64_t expiry = 0) {
  return {std::move(name), std::move(value), std::move(domain), std::move(path),
          flags[0] == 'h', flags[1] == 's',  flags[2] == 'o',   expiry};
}

std::optional<Cookie> Parsed(std::string_view setCookie, const std::string& url) {
  return ParseSetCookie(setCookie, *ParseUrlCopy(url), kNow);
}

TEST(ParseSetCookie, ReadsThePairAndScopesItAsTheRfcSays) {
  const char* const page = "http://www.example.com/docs/index.html";
  const struct {
    const char* what;
    const char* url;
    std::string setCookie;
    std::optional<Cookie> cookie;
  } cases[] = {
      {"the RFC's secure session cookie", "https://www.example.com/",
       "SID=31d4d96e407aad42; Path=/; Secure; HttpOnly",
       Made("SID", "31d4d96e407aad42", "www.example.com", "/", "hso")},
      {"the RFC's domain cookie", "http://www.example.com/",
       "lang=en-US; Path=/; Domain=example.com", Made("lang", "en-US", "example.com", "/", "---")},
      {"no attributes: this host, this directory", page, "SID=31d4d96e407aad42",
       Made("SID", "31d4d96e407aad42", "www.example.com", "/docs", "h--")},
      {"a Domain with a dot and capitals", page, "a=b; Domain=.Example.COM",
       Made("a", "b", "example.com", "/docs", "---")},
      {"a host in capitals", "http://WWW.Example.com/", "a=b",
       Made("a", "b", "www.example.com", "/", "h--")},
      {"the host itself as Domain", "http://foo.example.com/", "a=b; Domain=foo.example.com",
       Made("a", "b", "foo.example.com", "/", "---")},
      {"a sibling's Domain", "http://foo.example.com/", "a=b; Domain=bar.example.com", {}},
      {"a Domain below the host", "http://foo.example.com/", "a=b; Domain=baz.foo.example.com", {}},
      {"a Domain the host only ends with", "http://badexample.com/", "a=b; Domain=example.com", {}},
      {"a top-level Domain", "http://example.com/", "a=b; Domain=com", {}},
      {"a dotless host naming itself", "http://localhost/", "a=b; Domain=localhost",
       Made("a", "b", "localhost", "/", "h--")},
      {"an address naming itself", "http://192.0.2.1/", "a=b; Domain=192.0.2.1",
       Made("a", "b", "192.0.2.1", "/", "h--")},
      {"the tail of an address", "http://192.0.2.1/", "a=b; Domain=0.2.1", {}},
      {"an empty Domain is left out", page,
       "a=b; Domain=", Made("a", "b", "www.example.com", "/docs", "h--")},
      {"blanks around name and value", page, " a \t=  b c ;Path=/",
       Made("a", "b c", "www.example.com", "/", "h--")},
      {"an = in the value", page, "a=b=c", Made("a", "b=c", "www.example.com", "/docs", "h--")},
      {"quotes stay", page, "a=\"b\"", Made("a", "\"b\"", "www.example.com", "/docs", "h--")},
      {"an empty value", page, "a=", Made("a", "", "www.example.com", "/docs", "h--")},
      {"a tab in the value", page, "a=b\tc", Made("a", "b\tc", "www.example.com", "/docs", "h--")},
      {"attribute names in any case", page, "a=b; pAtH=/x; SECURE; httponly=no",
       Made("a", "b", "www.example.com", "/x", "hso")},
      {"a Path not starting with /", page, "a=b; Path=x/y",
       Made("a", "b", "www.example.com", "/docs", "h--")},
      {"the last Path", page, "a=b; Path=/x; Path=/y",
       Made("a", "b", "www.example.com", "/y", "h--")},
      {"unknown attributes", page, "a=b; SameSite=Lax; Priority; =x;;",
       Made("a", "b", "www.example.com", "/docs", "h--")},
      {"Secure over plain http", page, "a=b; Secure",
       Made("a", "b", "www.example.com", "/docs", "hs-")},
      {"a path without a directory", "http://www.example.com", "a=b",
       Made("a", "b", "www.example.com", "/", "h--")},
      {"a directory", "http://www.example.com/a/b/", "a=b",
       Made("a", "b", "www.example.com", "/a/b", "h--")},
      {"a slash in the query", "http://www.example.com/a/b?x=/c/d", "a=b",
       Made("a", "b", "www.example.com", "/a", "h--")},
      {"a tab in Path", page, "a=b; Path=/x\ty", {}},
      {"a control byte", page, "a=b\x01", {}},
      {"a carriage return", page, "a=b\rSet-Cookie: c=d", {}},
      {"no =", page, "ab; Path=/", {}},
      {"no name", page, " =b", {}},
      {"the longest value", page, "a=" + std::string(kLongestSetCookie - 2, 'v'),
       Made("a", std::string(kLongestSetCookie - 2, 'v'), "www.example.com", "/docs", "h--")},
      {"a byte longer", page, "a=" + std::string(kLongestSetCookie - 1, 'v'), {}},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(Parsed(row.setCookie, row.url), row.cookie) << row.what;
  }
}

TEST(ParseSetCookie, ExpiresInAnyDateFormMaxAgeWinsAndUnreadableOnesAreLeftOut) {
  const struct {
    const char* attributes;
    int64_t expiry;
  } cases[] = {
      {"Expires=Wed, 09 Jun 2021 10:18:14 GMT", 1623233894},
      {"Expires=Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
      {"Expires=Sun Nov  6 08:49:37 1994", 784111777},
      {"expires=06 nov 1994 08:49:37", 784111777},
      {"Expires=1994/Nov/06 08:49:37", 784111777},
      {"Expires=6 November 1994 8:9:7 GMT", 784109347},
      {"Expires=06 Nov 69 08:49:37", 3150953377},
      {"Expires=06 Nov 70 08:49:37", 26729377},
      {"Expires=01 Jan 1601 00:00:00", -11644473600},
      {"Expires=29 Feb 2000 00:00:00", 951782400},
      {"Expires=31 Dec 1600 23:59:59", 0},
      {"Expires=30 Feb 2021 00:00:00", 0},
      {"Expires=29 Feb 1900 00:00:00", 0},
      {"Expires=06 Nov 1994 24:00:00", 0},
      {"Expires=31 Dec 2016 23:59:60", 0},
      {"Expires=06 Nov 1994", 0},
      {"Expires=06 Nov 994 08:49:37", 0},
      {"Expires=006 Nov 1994 08:49:37", 0},
      {"Expires=never", 0},
      {"Max-Age=3600", kNow + 3600},
      {"Max-Age=0", kEarliest},
      {"Max-Age=-5", kEarliest},
      {"Max-Age=99999999999999999999", std::numeric_limits<int64_t>::max()},
      {"Expires=Wed, 09 Jun 2021 10:18:14 GMT; Max-Age=60", kNow + 60},
      {"Max-Age=60; Expires=Wed, 09 Jun 2021 10:18:14 GMT", kNow + 60},
      {"Max-Age=+60; Expires=Wed, 09 Jun 2021 10:18:14 GMT", 1623233894},
      {"Max-Age=1x", 0},
      {"Max-Age=-", 0},
      {"Expires=Wed, 09 Jun 2021 10:18:14 GMT; Expires=Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
      {"Expires=Wed, 09 Jun 2021 10:18:14 GMT; Expires=soon", 1623233894},
  };
  for (const auto& row : cases) {
    const std::optional<Cookie> cookie =
        Parsed(std::string("a=b; ") + row.attributes, "http://example.com/");
    ASSERT_TRUE(cookie) << row.attributes;
    EXPECT_EQ(cookie->expiry, row.expiry) << row.attributes;
  }
}

TEST(CookieMatching, DomainsAndPathsMatchAsTheRfcDefinesThem) {
  const struct {
    const char* host;
    const char* domain;
    bool matches;
  } domains[] = {
      {"example.com", "example.com", true},
      {"www.example.com", "example.com", true},
      {"www.corp.example.com", "example.com", true},
      {"WWW.Example.COM", "example.com", true},
      {"badexample.com", "example.com", false},
      {"example.com", "www.example.com", false},
      {"example.com.evil", "example.com", false},
      {"192.0.2.1", "192.0.2.1", true},
      {"192.0.2.1", "0.2.1", false},
      {"127.1", "1", false},
      {"[2001:db8::1]", "[2001:db8::1]", true},
      {"a.[2001:db8::1]", "[2001:db8::1]", false},
  };
  for (const auto& row : domains) {
    EXPECT_EQ(DomainMatches(row.host, row.domain), row.matches) << row.host << " ~ " << row.domain;
  }
  const struct {
    const char* requestPath;
    const char* cookiePath;
    bool matches;
  } paths[] = {
      {"/docs", "/docs", true},     {"/docs/", "/docs", true},  {"/docs/web/x", "/docs", true},
      {"/docsets", "/docs", false}, {"/", "/docs", false},      {"/fr/docs", "/docs", false},
      {"/docs/x", "/docs/", true},  {"/docs", "/docs/", false}, {"/anything", "/", true},
      {"/Docs", "/docs", false},
  };
  for (const auto& row : paths) {
    EXPECT_EQ(PathMatches(row.requestPath, row.cookiePath), row.matches)
        << row.requestPath << " ~ " << row.cookiePath;
  }
}

TEST(CookieHeaderFor, SendsMatchingCookiesLongerPathsFirstThenOldestFirst) {
  const struct {
    const char* what;
    const char* setBy;
    std::vector<const char*> setCookies;
    const char* request;
    const char* header;
  } cases[] = {
      {"the RFC's example",
       "https://www.example.com/",
       {"SID=31d4d96e407aad42; Path=/; Secure; HttpOnly",
        "lang=en-US; Expires=Wed, 09 Jun 2021 10:18:14 GMT"},
       "https://www.example.com/",
       "SID=31d4d96e407aad42; lang=en-US"},
      {"the RFC's deletion",
       "https://www.example.com/",
       {"SID=31d4d96e407aad42; Path=/; Secure; HttpOnly", "lang=en-US; Path=/",
        "lang=; Expires=Sun, 06 Nov 1994 08:49:37 GMT"},
       "https://www.example.com/",
       "SID=31d4d96e407aad42"},
      {"a secure cookie over http",
       "https://www.example.com/",
       {"SID=1; Secure", "lang=en-US"},
       "http://www.example.com/",
       "lang=en-US"},
      {"paths",
       "http://h/",
       {"a=1; Path=/", "b=2; Path=/docs", "c=3; Path=/", "d=4; Path=/docs/web", "e=5; Path=/img"},
       "http://h/docs/web/x?y=1",
       "d=4; b=2; a=1; c=3"},
      {"a replaced cookie keeps its place",
       "http://h/",
       {"a=1; Path=/", "b=2; Path=/", "a=3; Path=/"},
       "http://h/",
       "a=3; b=2"},
      {"one name on two paths",
       "http://h/",
       {"a=1; Path=/", "a=2; Path=/docs"},
       "http://h/docs/",
       "a=2; a=1"},
      {"host-only stays on its host",
       "http://example.com/",
       {"a=1", "b=2; Domain=example.com"},
       "http://www.example.com/",
       "b=2"},
      {"an expiring cookie",
       "http://h/",
       {"a=1; Max-Age=60", "b=2; Max-Age=0"},
       "http://h/",
       "a=1"},
      {"another host",
       "http://example.com/",
       {"a=1; Domain=example.com"},
       "http://example.org/",
       ""},
  };
  for (const auto& row : cases) {
    CookieJar jar;
    for (const char* setCookie : row.setCookies) {
      StoreCookie(jar, Parsed(setCookie, row.setBy).value(), kNow);
    }
    EXPECT_EQ(CookieHeaderFor(jar, *ParseUrlCopy(row.request), kNow), row.header) << row.what;
  }
}

TEST(CookieHeaderFor, NeitherExpiredNorLineBreakingCookiesGo) {
  const CookieJar jar = {Made("a", "1", "h", "/", "h--", kNow + 60),
                         Made("b", "x\r\nHost: evil", "h", "/", "h--"),
                         Made("c\n", "1", "h", "/", "h--"), Made("d", "1\t2", "h", "/", "h--")};
  const auto request = ParseUrlCopy("http://h/");
  EXPECT_EQ(CookieHeaderFor(jar, *request, kNow + 59), "a=1; d=1\t2");
  EXPECT_EQ(CookieHeaderFor(jar, *request, kNow + 60), "d=1\t2");
}

TEST(StoreCookie, KeepsTheNewestWithinTheBoundAndDropsExpiredOnes) {
  CookieJar jar;
  for (size_t i = 0; i < kMostCookies + 3; ++i) {
    StoreCookie(jar, Made("c" + std::to_string(i), "v", "h", "/", "h--"), kNow);
  }
  ASSERT_EQ(jar.size(), kMostCookies);
  EXPECT_EQ(jar.front().name, "c3");

  jar = {Made("a", "1", "h", "/", "h--", kNow + 10), Made("b", "1", "h", "/", "h--")};
  StoreCookie(jar, Parsed("b=; Expires=Thu, 01 Jan 1970 00:00:00 GMT", "http://h/").value(), kNow);
  EXPECT_EQ(jar, CookieJar{Made("a", "1", "h", "/", "h--", kNow + 10)});
  StoreCookie(jar, Made("c", "1", "h", "/", "h--"), kNow + 10);
  EXPECT_EQ(jar, CookieJar{Made("c", "1", "h", "/", "h--")});
}

TEST(CookieJarText, KeepsEveryByteInPrintableLines) {
  EXPECT_EQ(FormatCookieJar({Made("SID", "31d4d96e407aad42", "www.example.com", "/", "hso"),
                             Made("lang", "en US;%", "example.com", "/docs", "---", 1623233894)}),
            "www.example.com / hso 0 SID 31d4d96e407aad42\n"
            "example.com /docs --- 1623233894 lang en%20US;%25\n");
  std::string everyByte;
  for (int byte = 0; byte < 256; ++byte) {
    everyByte += static_cast<char>(byte);
  }
  const CookieJar jar = {Made("a b\nc", everyByte, "", "", "---", kEarliest),
                         Made("%41", "", "h", "/ /", "h-o", std::numeric_limits<int64_t>::max()),
                         Made("n", "v", "h", "/", "-s-", -1)};
  const std::string text = FormatCookieJar(jar);
  EXPECT_EQ(ParseCookieJar(text), jar);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
  EXPECT_TRUE(std::all_of(text.begin(), text.end(),
                          [](char c) { return c == '\n' || (c >= ' ' && c < 0x7f); }));
}

TEST(CookieJarText, ALineThatDoesNotReadEndsTheJar) {
  const std::string good = "h / h-- 0 a 1\n";
  const struct {
    const char* what;
    std::string text;
    size_t cookies;
  } cases[] = {
      {"nothing", "", 0},
      {"a line cut short", good + "h / h-- 0 b 2", 1},
      {"five fields", good + "h / h-- 0 b\n" + good, 1},
      {"seven fields", good + "h / h-- 0 b 2 3\n", 1},
      {"unknown flags", "h / x-- 0 a 1\n", 0},
      {"two flags", "h / hs 0 a 1\n", 0},
      {"letters in the expiry", "h / h-- 12a a 1\n", 0},
      {"a plus on the expiry", "h / h-- +5 a 1\n", 0},
      {"no expiry", "h / h--  a 1\n", 0},
      {"a bad escape", "h / h-- 0 a %zz\n", 0},
      {"an escape cut short", "h / h-- 0 a %4\n", 0},
      {"a raw tab", "h / h-- 0 a 1\t2\n", 0},
      {"a raw high byte", "h / h-- 0 a \xff\n", 0},
      {"an escape of a plain byte", "h / h-- 0 a %41\n" + good, 2},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(ParseCookieJar(row.text).size(), row.cookies) << row.what;
  }
  std::string many;
  for (size_t i = 0; i < kMostCookies + 2; ++i) {
    many += "h / h-- 0 c" + std::to_string(i) + " v\n";
  }
  EXPECT_EQ(ParseCookieJar(many).front().name, "c2");
}

}  // namespace
}  // namespace pellmarsh
