#include "url/url_parser.h"
#include "store/keys.h"

#include <gtest/gtest.h>

#include <random>

namespace pellmarsh {
namespace {

// The non-empty parts in a fixed order, so that a row states the whole result.
std::string Describe(const UrlParts& parts, bool withUser = true) {
  std::string text;
  for (PropKey key :
       {key::kError, key::kProtocol, key::kHostName, key::kHostAddr, key::kPort, key::kOddPort,
        key::kUserId, key::kPassword, key::kFullPath, key::kPath, key::kFile, key::kExtension}) {
    if (!parts.GetProp(key).empty() &&
        (withUser || (key != key::kUserId && key != key::kPassword))) {
      text += (text.empty() ? "" : " ") + std::string(key.text()) + "=" + parts.GetProp(key);
    }
  }
  return text;
}

struct ParseRow {
  std::string_view input;
  const char* parts;
  std::string_view rewritten;
  const char* canonical;  // no canonical text when the parse fails
};

const ParseRow kParseRows[] = {
    {"www.host/d/a.zip",
     "protocol=http hostname=www.host port=80 fullpath=/d/a.zip path=/d file=a.zip extension=ZIP",
     "www.host/d/a.zip", "http://www.host/d/a.zip"},
    {"ftp.host", "protocol=ftp hostname=ftp.host port=21 fullpath=/", "ftp.host",
     "ftp://ftp.host/"},
    {"WWW.HOST/x", "error=Malformed URL", "WWW.HOST/x", ""},
    {" http://h/", "error=Unsupported protocol:  http protocol= http", " http://h/", ""},
    {"HTTP://h:80/x", "protocol=http hostname=h port=80 fullpath=/x file=x", "h:80/x",
     "http://h/x"},
    {"http://h:8080/", "protocol=http hostname=h port=8080 oddport=1 fullpath=/", "h:8080/",
     "http://h:8080/"},
    {"ftp://h:0", "error=Malformed URL protocol=ftp port=21", "h:0", ""},
    // A socket holds 16 bits of port: a larger number would reach another port.
    {"http://127.0.0.1:102359/f", "error=Malformed URL protocol=http port=80", "127.0.0.1:102359/f",
     ""},
    {"http://h:65535/f", "protocol=http hostname=h port=65535 oddport=1 fullpath=/f file=f",
     "h:65535/f", "http://h:65535/f"},
    {"http://h:65536/", "error=Malformed URL protocol=http port=80", "h:65536/", ""},
    {"http://h:99999999999999999999/", "error=Malformed URL protocol=http port=80",
     "h:99999999999999999999/", ""},
    {"http://h:-1/", "error=Malformed URL protocol=http port=80", "h:-1/", ""},
    {"http://h:80x/", "error=Malformed URL protocol=http port=80", "h:80x/", ""},
    {"http://h:/x", "protocol=http hostname=h port=80 fullpath=/x file=x", "h:/x", "http://h/x"},
    {"http://[::1]:70000/", "error=Malformed URL protocol=http hostaddr=::1 port=80",
     "[::1]:70000/", ""},
    // Host and login go into request and command lines as they are.
    {"https://victim.example\r\nX-Injected: 1\r\n\r\nDELETE http/x/",
     "error=Control character in URL protocol=https port=443",
     "victim.example\r\nX-Injected: 1\r\n\r\nDELETE http/x/", ""},
    {std::string_view("http://a\0b/f", 12), "error=Control character in URL protocol=http port=80",
     std::string_view("a\0b/f", 5), ""},
    {"ftp://u\x7f:p@h/", "error=Control character in URL protocol=ftp port=21", "u\x7f:p@h/", ""},
    {"ftp://me:pa:ss@h/", "protocol=ftp hostname=h port=21 userid=me password=pa:ss fullpath=/",
     "me:pa:ss@h/", "ftp://h/"},
    {"ftp://anon:me@mail.example@h/",
     "protocol=ftp hostname=h port=21 userid=anon password=me@mail.example fullpath=/",
     "anon:me@mail.example@h/", "ftp://h/"},
    {"http://h/a.html#part",
     "protocol=http hostname=h port=80 fullpath=/a.html file=a.html "
     "extension=HTML",
     "h/a.html", "http://h/a.html"},
    {"HTTPS://h:443/a.html#part",
     "protocol=https hostname=h port=443 fullpath=/a.html file=a.html extension=HTML",
     "h:443/a.html", "https://h/a.html"},
    {"https://h:80/", "protocol=https hostname=h port=80 oddport=1 fullpath=/", "h:80/",
     "https://h:80/"},
    {"ftp://h/a#b", "protocol=ftp hostname=h port=21 fullpath=/a#b file=a#b", "h/a#b",
     "ftp://h/a#b"},
    {"http://h/cgi/q.exe?a=1&b=2",
     "protocol=http hostname=h port=80 fullpath=/cgi/q.exe?a=1&b=2 "
     "path=/cgi file=q.exe extension=EXE",
     "h/cgi/q.exe?a=1&b=2", "http://h/cgi/q.exe?a=1&b=2"},
    {"ftp://h/pub/*.zip", "protocol=ftp hostname=h port=21 fullpath=/pub/*.zip path=/pub",
     "h/pub/*.zip", "ftp://h/pub/*.zip"},
    {"D:\\dir\\x.zip", "protocol=file fullpath=D:\\dir\\x.zip", "D:\\dir\\x.zip",
     "file://D:\\dir\\x.zip"},
    {"D|/dir/x.zip", "protocol=file fullpath=D:/dir/x.zip", "D|/dir/x.zip", "file://D:/dir/x.zip"},
    {"file:///home/a", "protocol=file fullpath=/home/a", "/home/a", "file:///home/a"},
    {"file://a", "error=Malformed URL protocol=file", "a", ""},
    {"abcdefghijk://x", "error=Malformed URL", "abcdefghijk://x", ""},
    {"http://:21/x", "error=Incomplete URL protocol=http port=21 oddport=1", ":21/x", ""},
    {"http:///x", "error=Incomplete URL protocol=http port=80", "/x", ""},
    {"http://3com.h/a/b/",
     "protocol=http hostname=3com.h hostaddr=3com.h port=80 fullpath=/a/b/ "
     "path=/a/b",
     "3com.h/a/b/", "http://3com.h/a/b/"},
    {"http://[::1]:8080/f",
     "protocol=http hostname=[::1] hostaddr=::1 port=8080 oddport=1 fullpath=/f file=f",
     "[::1]:8080/f", "http://[::1]:8080/f"},
    {"ftp://u:p@[2001:DB8:0::1]/f.txt",
     "protocol=ftp hostname=[2001:db8::1] hostaddr=2001:db8::1 port=21 userid=u password=p "
     "fullpath=/f.txt file=f.txt extension=TXT",
     "u:p@[2001:DB8:0::1]/f.txt", "ftp://[2001:db8::1]/f.txt"},
    {"http://[::ffff:127.0.0.1]",
     "protocol=http hostname=[::ffff:127.0.0.1] hostaddr=::ffff:127.0.0.1 port=80 fullpath=/",
     "[::ffff:127.0.0.1]", "http://[::ffff:127.0.0.1]/"},
    {"http://[::1/", "error=Malformed IPv6 address in URL protocol=http port=80", "[::1/", ""},
    {"http://[zz]/", "error=Malformed IPv6 address in URL protocol=http port=80", "[zz]/", ""},
    {"http://[::1]x/", "error=Malformed IPv6 address in URL protocol=http port=80", "[::1]x/", ""},
    {"http://[fe80::1%25eth0]/", "error=Malformed IPv6 address in URL protocol=http port=80",
     "[fe80::1%25eth0]/", ""},
};

TEST(ParseUrl, EachTextGivesItsPartsRewritesItAndFormatsCanonically) {
  for (const ParseRow& row : kParseRows) {
    std::string text(row.input);
    const auto parts = ParseUrl(text);
    EXPECT_EQ(Describe(*parts), row.parts) << row.input;
    EXPECT_EQ(text, row.rewritten) << row.input;
    if (*row.canonical) {
      EXPECT_EQ(FormatUrl(*parts), row.canonical) << row.input;
    }
  }
}

TEST(ExpandTypedUrl, TextNamingNoSchemeIsTakenAsHttpAfterTheShortForms) {
  const std::pair<const char*, const char*> rows[] = {
      {"127.0.0.1:8080/f.bin", "http://127.0.0.1:8080/f.bin"},
      {"host/a?u=http://x/", "http://host/a?u=http://x/"},  // a "://" far in is no scheme
      {"ftp.host/pub/f.zip", "ftp://ftp.host/pub/f.zip"},
      {"www.host/f.zip", "http://www.host/f.zip"},
      {"https://host/f.zip", "https://host/f.zip"},
      {"gopher://host/x", "gopher://host/x"},
      {"c:/f.zip", "c:/f.zip"},  // a drive letter is the file short form
      {"", ""},
  };
  for (const auto& [typed, expanded] : rows) {
    EXPECT_EQ(ExpandTypedUrl(typed), expanded) << typed;
  }
  std::string relative = "127.0.0.1:8080/f.bin";
  EXPECT_EQ(ParseUrl(relative)->GetProp(key::kError), kMalformedUrl) << "the parser is unchanged";
}

TEST(FormatUrl, ReparsingTheCanonicalTextGivesTheSamePartsButTheUser) {
  const char* pieces[] = {"http://", "ftp://", "file://", "HTTP://", "www.", "ftp.", "@",
                          ":",       "/",      "#",       "?",       "*",    "&",    "\\",
                          "|",       ".",      "a",       "7",       "0",    "8080", " ",
                          "D:",      "[",      "]",       "::1",     "[::1]"};
  std::mt19937 random(4);
  for (int sample = 0; sample < 20000; ++sample) {
    std::string text;
    for (int count = static_cast<int>(random() % 9); count >= 0; --count) {
      text += pieces[random() % std::size(pieces)];
    }
    const std::string original = text;
    const auto parts = ParseUrl(text);
    if (parts->GetProp(key::kError).empty()) {
      std::string canonical = FormatUrl(*parts);
      ASSERT_EQ(Describe(*ParseUrl(canonical), false), Describe(*parts, false)) << original;
    }
  }
}

}  // namespace
}  // namespace pellmarsh
