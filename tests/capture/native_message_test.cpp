#include "capture/native_message.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

HandedDownload OnlyUrl(const std::string& url) {
  HandedDownload download;
  download.url = url;
  return download;
}

struct MessageCase {
  std::string json;
  std::vector<std::string> urls;  // empty: refused
};

TEST(ParseUrlsMessageTest, TakesOnlyWellFormedMessagesOfWebLinks) {
  const std::vector<MessageCase> cases = {
      {R"({"urls":["http://host/a.iso"]})", {"http://host/a.iso"}},
      {" {\n\"urls\" : [ \"https://h/b\" , \"FTP://h/c\" ] }\t", {"https://h/b", "FTP://h/c"}},
      {R"({"from":{"tab":[1,-2.5e3,true,null,"x"]},"urls":["http://h/\u00e9\ud83d\ude00"]})",
       {"http://h/\xc3\xa9\xf0\x9f\x98\x80"}},
      // Not JSON, or not the message's shape.
      {"", {}},
      {"[\"http://h/a\"]", {}},
      {R"({"urls":["http://h/a"]} x)", {}},
      {R"({"urls":["http://h/a"],})", {}},
      {R"({"urls":["http://h/a"]})"
       R"({"urls":["http://h/b"]})",
       {}},
      {R"({"urls":["http://h/a"],"urls":["http://h/b"]})", {}},
      {R"({"urls":"http://h/a"})", {}},
      {R"({"urls":[1]})", {}},
      {R"({"urls":["http://h/a)", {}},
      {R"({"urls":["http://h/\ud83d"]})", {}},
      {R"({"urls":["http://h/\x"]})", {}},
      {"{\"urls\":[\"http://h/\xc0\xaf\"]}", {}},
      {"{\"urls\":[\"http://h/\x01\"]}", {}},
      {R"({"n":01,"urls":["http://h/a"]})", {}},
      {std::string(100, '[') + std::string(100, ']'), {}},
      // No links, or links that may not go on.
      {R"({})", {}},
      {R"({"urls":[]})", {}},
      {R"({"urls":["file:///etc/passwd"]})", {}},
      {R"({"urls":["http://h/a","javascript:x"]})", {}},
      {R"({"urls":["http://h/a b"]})", {}},
      {R"({"urls":["http://"]})", {}},
      {R"({"urls":["http://127.0.0.1:102359/f"]})", {}},
      {R"({"urls":["http://h:0/f"]})", {}},
  };
  for (const MessageCase& c : cases) {
    const BrowserMessage message = ParseBrowserMessage(c.json);
    std::vector<HandedDownload> downloads;
    for (const std::string& url : c.urls) {
      downloads.push_back(OnlyUrl(url));
    }
    EXPECT_EQ(message.downloads, downloads) << c.json;
    EXPECT_EQ(message.error.empty(), !c.urls.empty()) << c.json;
  }
}

TEST(ParseUrlsMessageTest, DeepNestingIsRefusedWithoutRecursingFurther) {
  const std::string deep = "{\"x\":" + std::string(100000, '[') + "}";
  EXPECT_FALSE(ParseBrowserMessage(deep).error.empty());
  const std::string inCookie =
      R"({"downloads":[{"url":"http://h/f","cookies":[{"x":)" + std::string(100000, '[') + "}]}]}";
  EXPECT_FALSE(ParseBrowserMessage(inCookie).error.empty());
}

TEST(ParseBrowserMessageTest, ReadsAFullDownloadWholeAndIgnoresUnknownMembers) {
  const BrowserMessage message = ParseBrowserMessage(R"json({"v":[{"w":2}],"downloads":[
    {"url":"https://h/f.iso","finalUrl":"https://cdn.h/f.iso?t=1","referrer":"https://h/p",
     "cookies":[{"name":"sid","value":"a b=\u00e9","domain":".h","path":"/","secure":true,
                 "httpOnly":true,"hostOnly":false,"expirationDate":1767225600.5,
                 "sameSite":"lax","storeId":"0","partitionKey":{"topLevelSite":"x"}},
                {"name":"","value":"t","domain":"h","path":"/f","secure":false,
                 "httpOnly":false,"hostOnly":true},
                {"name":"old","expirationDate":0.25}],
     "userAgent":"Mozilla/5.0 (X11; Linux x86_64)","filename":"f.iso","size":12345,
     "tab":{"id":7}},
    {"url":"ftp://h/g","size":0}]})json");
  EXPECT_EQ(message.error, "");
  HandedDownload full = OnlyUrl("https://h/f.iso");
  full.finalUrl = "https://cdn.h/f.iso?t=1";
  full.referrer = "https://h/p";
  full.userAgent = "Mozilla/5.0 (X11; Linux x86_64)";
  full.filename = "f.iso";
  full.size = 12345;
  full.cookies = {{"sid", "a b=\xc3\xa9", ".h", "/", true, true, false, 1767225600},
                  {"", "t", "h", "/f", false, false, true, 0},
                  // Given at all, an expiry stays one, not the session's 0.
                  {"old", "", "", "", false, false, false, 1}};
  HandedDownload empty = OnlyUrl("ftp://h/g");
  empty.size = 0;
  EXPECT_EQ(message.downloads, (std::vector<HandedDownload>{full, empty}));
}

// "name":"text"
std::string Member(const std::string& name, const std::string& text) {
  return "\"" + name + "\":\"" + text + "\"";
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string joined;
  for (const std::string& part : parts) {
    joined += (joined.empty() ? "" : ",") + part;
  }
  return joined;
}

// A downloads message of `count` copies of one download of `members` beside its url.
std::string Downloads(const std::string& members, size_t count = 1) {
  const std::string download =
      R"({"url":"http://h/f")" + (members.empty() ? "" : "," + members) + "}";
  return R"({"downloads":[)" + Joined(std::vector<std::string>(count, download)) + "]}";
}

// "cookies":[...], each cookie given by its members.
std::string Cookies(std::vector<std::string> cookies) {
  for (std::string& cookie : cookies) {
    cookie = "{" + cookie + "}";
  }
  return R"("cookies":[)" + Joined(cookies) + "]";
}

std::string Link(size_t bytes) {
  return "http://h/" + std::string(bytes - 9, 'a');
}

struct RefusalCase {
  std::string name;
  std::string json;
  std::string reason;  // a part of the error; empty when the message is read
};

void ExpectRefusals(const std::vector<RefusalCase>& cases) {
  for (const RefusalCase& c : cases) {
    const BrowserMessage message = ParseBrowserMessage(c.json);
    if (c.reason.empty()) {
      EXPECT_EQ(message.error, "") << c.name;
      EXPECT_FALSE(message.downloads.empty()) << c.name;
    } else {
      EXPECT_NE(message.error.find(c.reason), std::string::npos) << c.name << ": " << message.error;
      EXPECT_TRUE(message.downloads.empty()) << c.name;
    }
  }
}

TEST(ParseBrowserMessageTest, EveryValueIsBoundedAndOnePastItRefusesTheMessage) {
  const std::string atBounds =
      R"({"downloads":[{"url":")" + Link(8192) + "\"," +
      Joined({Member("finalUrl", Link(8192)), Member("referrer", Link(8192)),
              Member("userAgent", std::string(512, 'u')), Member("filename", std::string(255, 'n')),
              R"("size":9223372036854775807)",
              Cookies({Joined({Member("domain", std::string(1024, 'd')),
                               Member("path", "/" + std::string(1023, 'p')),
                               R"("expirationDate":253402300799.9)"})})}) +
      "}]}";
  const std::string cookieA = Member("name", "a") + "," + Member("value", std::string(4000, 'v'));
  const auto cookieB = [](size_t valueBytes) {
    return Member("name", "b") + "," + Member("value", std::string(valueBytes, 'v'));
  };
  ExpectRefusals({
      {"every text at its bound", atBounds, ""},
      {"100 cookies", Downloads(Cookies(std::vector<std::string>(100, Member("name", "c")))), ""},
      {"cookies of 8192 bytes as a header", Downloads(Cookies({cookieA, cookieB(4186)})), ""},
      {"1000 downloads", Downloads("", 1000), ""},
      {"a filename of 256 bytes", Downloads(Member("filename", std::string(256, 'n'))),
       R"(A download's "filename" is longer than 255 bytes.)"},
      {"a user agent of 513 bytes", Downloads(Member("userAgent", std::string(513, 'u'))),
       R"("userAgent" is longer than 512 bytes)"},
      {"a url of 8193 bytes", R"({"downloads":[{"url":")" + Link(8193) + "\"}]}",
       R"("url" is longer than 8192 bytes)"},
      {"a link of 8193 bytes in the urls form", R"({"urls":[")" + Link(8193) + "\"]}",
       R"(An entry of "urls" is longer than 8192 bytes)"},
      {"a finalUrl of 8193 bytes", Downloads(Member("finalUrl", Link(8193))),
       R"("finalUrl" is longer than 8192 bytes)"},
      {"a referrer of 8193 bytes", Downloads(Member("referrer", Link(8193))),
       R"("referrer" is longer than 8192 bytes)"},
      {"101 cookies", Downloads(Cookies(std::vector<std::string>(101, Member("name", "c")))),
       "A download has more than 100 cookies."},
      {"cookies of 8193 bytes as a header", Downloads(Cookies({cookieA, cookieB(4187)})),
       "cookies take more than 8192 bytes as a Cookie header"},
      {"a cookie domain of 1025 bytes",
       Downloads(Cookies({Member("domain", std::string(1025, 'd'))})),
       R"(A cookie's "domain" is longer than 1024 bytes)"},
      {"a cookie path of 1025 bytes",
       Downloads(Cookies({Member("path", "/" + std::string(1024, 'p'))})),
       R"("path" is longer than 1024 bytes)"},
      {"1001 downloads", Downloads("", 1001), "The message holds more than 1000 links."},
      {"1001 links in the urls form",
       R"({"urls":[)" + Joined(std::vector<std::string>(1001, R"("http://h/f")")) + "]}",
       "more than 1000 links"},
      {"a size past 64 bits", Downloads(R"("size":9223372036854775808)"),
       R"(A download's "size" is not a whole number of bytes.)"},
      {"a negative size", Downloads(R"("size":-1)"), R"("size" is not a whole number)"},
      {"a size with a fraction", Downloads(R"("size":1.0)"), R"("size" is not a whole number)"},
      {"a size with an exponent", Downloads(R"("size":1e3)"), R"("size" is not a whole number)"},
      {"an expiry after 9999", Downloads(Cookies({R"("expirationDate":253402300800)"})),
       R"(A cookie's "expirationDate" is not a time from 1970 to 9999.)"},
      {"an expiry before 1970", Downloads(Cookies({R"("expirationDate":-0.5)"})),
       R"("expirationDate" is not a time)"},
      {"an expiry no double holds", Downloads(Cookies({R"("expirationDate":1e400)"})),
       R"("expirationDate" is not a time)"},
  });
}

TEST(ParseBrowserMessageTest, AMemberOfTheWrongTypeRefusesTheMessage) {
  ExpectRefusals({
      {"downloads as an object", R"({"downloads":{}})",
       R"(The message's "downloads" is not an array.)"},
      {"a download as a string", R"({"downloads":["http://h/f"]})",
       R"(An entry of "downloads" is not an object.)"},
      {"a link in the urls form as a number", R"({"urls":[1]})",
       R"(An entry of "urls" is not a string.)"},
      {"a url as a number", R"({"downloads":[{"url":1}]})",
       R"(A download's "url" is not a string.)"},
      {"a finalUrl as null", Downloads(R"("finalUrl":null)"), R"("finalUrl" is not a string)"},
      {"a size as a string", Downloads(R"("size":"12")"), R"("size" is not a number)"},
      {"cookies as an object", Downloads(R"("cookies":{})"), R"("cookies" is not an array)"},
      {"a cookie as a string", Downloads(R"("cookies":["sid=1"])"),
       R"(An entry of "cookies" is not an object.)"},
      {"secure as a string", Downloads(Cookies({R"("secure":"true")"})),
       R"(A cookie's "secure" is not true or false.)"},
      {"an expiry as a string", Downloads(Cookies({R"("expirationDate":"1767225600")"})),
       R"("expirationDate" is not a number)"},
  });
}

TEST(ParseBrowserMessageTest, AMessageIsOfOneFormWithEachMemberOnceAndAUrlPerDownload) {
  ExpectRefusals({
      {"both forms", R"({"urls":["http://h/a"],"downloads":[{"url":"http://h/b"}]})",
       R"(The message holds both "urls" and "downloads".)"},
      {"neither form", R"({"links":["http://h/a"]})", "The message holds no links."},
      {"no downloads", R"({"downloads":[]})", "The message holds no links."},
      {"downloads twice", R"({"downloads":[{"url":"http://h/a"}],"downloads":[]})",
       R"(The message's "downloads" is given twice.)"},
      {"a url twice", Downloads(Member("url", "http://h/g")),
       R"(A download's "url" is given twice.)"},
      {"a cookie's name twice",
       Downloads(Cookies({Member("name", "a") + "," + Member("name", "b")})),
       R"(A cookie's "name" is given twice.)"},
      {"an unknown member twice", R"({"x":1,"x":2,"downloads":[{"url":"http://h/f","y":1,"y":2}]})",
       ""},
      {"a download with no url", R"({"downloads":[{"finalUrl":"http://h/f"}]})",
       R"(A download has no "url".)"},
      {"a refusal in broken JSON", R"({"downloads":[{"url":"file:///etc/passwd"}])",
       "The message is not JSON"},
      {"an unknown member of broken JSON", Downloads(R"("tab":{"id":01})"),
       "The message is not JSON"},
  });
}

TEST(ParseBrowserMessageTest, LinksAndCookieTextsHoldOnlyWhatTheirHeadersMayCarry) {
  ExpectRefusals({
      {"an empty url", R"({"downloads":[{"url":""}]})", "Only http, https and ftp"},
      {"a finalUrl of another scheme", Downloads(Member("finalUrl", "javascript:x")),
       "Only http, https and ftp"},
      {"an empty finalUrl", Downloads(Member("finalUrl", "")), "Only http, https and ftp"},
      {"an empty referrer", Downloads(Member("referrer", "")), ""},
      {"a referrer with a space", Downloads(Member("referrer", "http://h/a b")),
       "A link holds a space or a control character."},
      {"a user agent with a line break", Downloads(Member("userAgent", R"(UA\r\nX: y)")),
       R"(A download's "userAgent" holds a control character.)"},
      {"blanks in a cookie value", Downloads(Cookies({Member("value", "a b")})), ""},
      {"a semicolon in a cookie name", Downloads(Cookies({Member("name", "a;b")})),
       R"(A cookie's "name" holds ";".)"},
      {"a semicolon in a cookie value", Downloads(Cookies({Member("value", "1; admin=1")})),
       R"(A cookie's "value" holds ";".)"},
      {"a control character in a cookie value",
       Downloads(Cookies({Member("value", R"(a\u007fb)")})),
       R"(A cookie's "value" holds a control character.)"},
      {"a blank in a cookie domain", Downloads(Cookies({Member("domain", "h .example")})),
       R"(A cookie's "domain" holds " ".)"},
      {"a blank in a cookie path", Downloads(Cookies({Member("path", "/a b")})),
       R"(A cookie's "path" holds " ".)"},
  });
}

TEST(UrlsAnswerTest, SaysWhetherEveryLinkWasTakenAndStaysUtf8) {
  EXPECT_EQ(UrlsAnswer({"", ""}), R"({"ok":true,"added":2})");
  EXPECT_EQ(UrlsAnswer({"", "Not \"now\"\n", "later"}),
            R"({"ok":false,"error":"Not \"now\"\u000a","added":1})");
  EXPECT_EQ(ErrorAnswer("bad \xff byte \xc3\xa9"), R"({"ok":false,"error":"bad \ufffd byte )"
                                                   "\xc3\xa9\"}");
}

}  // namespace
}  // namespace pellmarsh
