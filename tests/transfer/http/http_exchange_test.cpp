#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <chrono>

#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/loopback_socket.h"
#include "support/nginx_server.h"
#include "support/random_bytes.h"
#include "support/scripted_server.h"
#include "support/wait.h"
#include "transfer/http/http_exchange.h"
#include "transfer/http/http_response.h"
#include "transfer/session/session_harness.h"
#include "url/cookies.h"
#include "url/host_defaults.h"

namespace pellmarsh {
namespace {

using namespace std::chrono_literals;
using Script = testing::ScriptedServer::Script;

class HttpTransferTest : public testing::SessionHarness {
 protected:
  // Steps until the condition holds, within a deadline.
  static bool StepUntil(TransferSession& session, const std::function<bool()>& condition) {
    return testing::WaitFor(
        [&] {
          session.Step();
          return condition();
        },
        30s, 0ms);
  }
};

TEST_F(HttpTransferTest, EachNginxAnswerEndsInItsOutcome) {
  testing::NginxServer::Options options;
  options.basicAuth.push_back({"/private/", "tester", "secret"});
  options.contentTypes = {{"/t/html.bin", "text/html"},
                          {"/t/upper.bin", "TEXT/PLAIN"},
                          {"/t/utf8.bin", "text/plain; charset=utf-8"}};
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  const std::string data = testing::RandomBytes(300'000, 7);
  const std::string half = data.substr(0, 150'000);
  for (const char* path : {"/a.bin", "/private/a.bin"}) {
    nginx.AddFile(path, data);
  }
  for (const char* path : {"/t/html.bin", "/t/upper.bin", "/t/utf8.bin"}) {
    nginx.AddFile(path, "a\r\nb\n");
  }
  tree.Lock()->SetPropInt(setting::kDelLog, 0);  // the log keeps the answer before a restart
  tree.Lock()->SetPropInt(setting::kConvertLineEnds, 1);  // the rows of text types
  const struct {
    const char* what;
    std::string path, onDisk, password;
    int resume, transferCode;
    ItemStatus status;
    std::string file, logged;
  } cases[] = {
      {"a whole download", "/a.bin", "", "", 0, 0, kStatusComplete, data,
       "Send Line: GET /a.bin HTTP/1.0||Host: 127.0.0.1||User-Agent: Pellmarsh 1.2||Accept: */*||"
       "Referer: " +
           nginx.Url("/a.bin") + "||||"},
      {"a resume of half the file", "/a.bin", half, "", 1, 0, kStatusComplete, data,
       "Recv Line: Content-Range: bytes 150000-299999/300000"},
      {"a resume of a file already whole", "/a.bin", data, "", 1, 0, kStatusComplete, data,
       "Recv Line: HTTP/1.1 416 Requested Range Not Satisfiable"},
      {"a resume of a file longer than the server's", "/a.bin", data + "x", "", 1, 0, kStatusFailed,
       data + "x", "Failure: HTTP/1.1 416 Requested Range Not Satisfiable"},
      {"a missing file", "/absent.bin", "", "", 0, 0, kStatusFailed, "(none)",
       "Failure: HTTP/1.1 404 Not Found"},
      {"credentials sent after the first 401", "/private/a.bin", "", "secret", 0, 0,
       kStatusComplete, data, "Authorization: Basic (concealed)||"},
      {"a partial file kept through the first 401", "/private/a.bin", half, "secret", 1, 0,
       kStatusComplete, data, "||Authorization: Basic (concealed)||Range: bytes=150000-||"},
      {"a wrong password", "/private/a.bin", "", "wrong", 0, 0, kStatusFailed, "(none)",
       "Failure: HTTP/1.1 401 Unauthorized"},
      {"text/html", "/t/html.bin", "", "", 0, 0, kStatusComplete, "a\nb\n",
       "Mime Content-Type (text/html) forces text transfer."},
      {"a type in capitals", "/t/upper.bin", "", "", 0, 0, kStatusComplete, "a\nb\n",
       "Mime Content-Type (text/plain) forces text transfer."},
      {"a type with a character set", "/t/utf8.bin", "", "", 0, 0, kStatusComplete, "a\r\nb\n",
       "Recv Line: Content-Type: text/plain; charset=utf-8"},
      {"a text type when the user forced binary", "/t/html.bin", "", "", 0, 1, kStatusComplete,
       "a\r\nb\n", "User forced binary transfer."},
  };
  int index = 0;
  for (const auto& row : cases) {
    const std::string local = dir.File("local-" + std::to_string(++index));
    if (!row.onDisk.empty()) {
      testing::WriteFile(Unfinished(local), row.onDisk);
    }
    Item& item = NewItem(nginx.Url(row.path), local);
    item.SetProp(key::kLogin, "tester");
    item.SetProp(key::kPassword, row.password);
    item.SetPropInt(key::kResume, row.resume);
    item.SetPropInt(key::kTransferCode, row.transferCode);
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.status)
        << row.what << ": " << item.GetProp(key::kError);
    EXPECT_TRUE(FileOf(item) == row.file) << row.what;
    EXPECT_TRUE(Logged(item, row.logged)) << row.what << ", log:\n" << item.GetProp(key::kLog);
    EXPECT_FALSE(Logged(item, "dGVzdGVyOnNlY3JldA==")) << row.what << ": Base64 conceals nothing";
    if (row.status == kStatusComplete) {
      EXPECT_EQ(item.GetProp(key::kReceived), item.GetProp(key::kSize)) << row.what;
      EXPECT_EQ(item.GetPropInt(key::kResume), 0) << row.what;
    }
  }
}

TEST_F(HttpTransferTest, AResumePastFourGigabytesSendsOnlyTheTail) {
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  const int64_t head = (4LL << 30) + 5;  // both files are sparse up to here
  const std::string tail = testing::RandomBytes(100'000, 7);
  nginx.AddFile("/big.iso", "");
  const int served = ::open((nginx.root() + "/big.iso").c_str(), O_WRONLY);
  ASSERT_EQ(::pwrite(served, tail.data(), tail.size(), head), 100'000);
  ::close(served);
  const int local = ::open(Unfinished(dir.File("big.iso")).c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::ftruncate(local, head), 0);
  Item& item = NewItem(nginx.Url("/big.iso"), dir.File("big.iso"));
  item.SetPropInt(key::kResume, 1);
  Attempt(item);

  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kError);
  EXPECT_TRUE(Logged(item, "||Range: bytes=4294967301-||"));
  EXPECT_EQ(item.GetProp(key::kSize), "4295067301");
  EXPECT_EQ(item.GetProp(key::kReceivedSession), "100000");
  std::string written(tail.size() + 1, '\0');
  EXPECT_EQ(::pread(local, written.data(), written.size(), head), 100'000);
  ::close(local);
  EXPECT_TRUE(written.substr(0, tail.size()) == tail);
}

TEST_F(HttpTransferTest, ATextFileResumesOnlyFromTheSourceBytesBehindIt) {
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  std::string source;
  for (int line = 0; source.size() < 200'000; ++line) {
    source += "line " + std::to_string(line) + (line % 7 ? "\n" : "\r\n");
  }
  nginx.AddFile("/notes.txt", source);
  const std::string whole = testing::ConvertedLineEnds(source);
  const size_t cut = source.find("line 4000");  // the prefix ends in a line break
  const std::string head = testing::ConvertedLineEnds(source.substr(0, cut));
  const struct {
    const char* what;
    bool recorded;
    std::string onDisk;
    std::string range;
  } rows[] = {
      {"recorded, with bytes written after the record", true, head + "line 40",
       std::to_string(cut)},
      {"not recorded", false, head, "0"},
      {"recorded but the file is shorter", true, head.substr(0, 100), "0"},
  };
  for (const auto& row : rows) {
    testing::WriteFile(Unfinished(dir.File("notes.txt")), row.onDisk);
    Item& item = NewItem(nginx.Url("/notes.txt"), dir.File("notes.txt"));
    item.SetPropInt(key::kTransferCode, 2);
    item.SetPropInt(key::kResume, 1);
    if (row.recorded) {
      item.SetPropInt64(key::kTextSource, static_cast<int64_t>(cut));
      item.SetPropInt64(key::kTextLength, static_cast<int64_t>(head.size()));
    }
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << row.what;
    EXPECT_TRUE(Logged(item, "||Range: bytes=" + row.range + "-||")) << row.what;
    EXPECT_TRUE(FileOf(item) == whole) << row.what;
  }
}

TEST_F(HttpTransferTest, APartialAnswerThatEndsBeforeItsTotalIsShort) {
  const struct {
    const char* what;
    int resume;
    std::string answer;
    std::string file;
  } rows[] = {
      {"a range answered with less than the rest", 1,
       "HTTP/1.0 206 P\r\nContent-Range: bytes 3-5/10\r\nContent-Length: 3\r\n\r\ndef", "abcdef"},
      {"no range asked, the start of the file answered", 0,
       "HTTP/1.0 206 P\r\nContent-Range: bytes 0-1/10\r\nContent-Length: 2\r\n\r\nxy", "xy"},
  };
  for (const auto& row : rows) {
    testing::ScriptedServer server({Script().ReadUntil("\r\n\r\n").Send(row.answer)});
    testing::WriteFile(Unfinished(dir.File("ten")), "abc");
    Item& item =
        NewItem("http://127.0.0.1:" + std::to_string(server.port()) + "/ten", dir.File("ten"));
    item.SetPropInt(key::kResume, row.resume);
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry) << row.what;
    EXPECT_EQ(item.GetProp(key::kSize), "10") << row.what;
    EXPECT_EQ(item.GetPropInt(key::kResume), 1) << row.what;
    EXPECT_EQ(FileOf(item).substr(0, row.file.size()), row.file) << row.what;
  }
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// A redirect costs no retry: the same attempt asks where it points. The item
// keeps the URL it was given, and its credentials go only to its own server.
TEST_F(HttpTransferTest, ARedirectIsFollowedAtOnceAndTheItemKeepsItsUrlAndCredentials) {
  testing::NginxServer other;
  ASSERT_TRUE(other.Start());
  other.AddFile("/e.bin", "elsewhere");
  testing::NginxServer::Options options;
  options.redirects = {{"/dir/relative", 302, "../f/b.dat"},
                       {"/dir/rooted", 301, "/f/c.zip"},
                       {"/dir/other", 302, other.Url("/e.bin")},
                       {"/loop/a", 302, "/loop/b"},
                       {"/loop/b", 307, "/loop/a"}};
  // Each hop takes one "x" off the path, down to the file.
  options.extraConfig =
      "location = /dir/absolute {\n return 302 http://$host:$server_port/f/d.bin;\n}\n"
      "location ~ ^/hops/x(x*)-end.bin$ {\n return 302 /hops/$1-end.bin;\n}\n";
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  for (const char* path : {"/f/b.dat", "/f/c.zip", "/f/d.bin"}) {
    nginx.AddFile(path, path);
  }
  nginx.AddFile("/hops/-end.bin", "the end");
  {
    Tree::Access access(tree);
    Item& entry = HostDefaults(access.root()).AddChild(std::make_unique<Item>());
    entry.SetProp(key::kName, "127.0.0.1");
    entry.SetProp(key::kLogin, "entry-login");
  }
  const std::string twenty(20, 'x');
  const struct {
    const char* what;
    std::string path;
    std::string hop;  // the last hop's log line
    std::string name, file;
    size_t authorizations;
  } cases[] = {
      {"an absolute location", "/dir/absolute", "302 to: " + nginx.Url("/f/d.bin"), "d.bin",
       "/f/d.bin", 2},
      {"a relative location", "/dir/relative", "302 to: " + nginx.Url("/f/b.dat"), "b.dat",
       "/f/b.dat", 2},
      {"a location from the root", "/dir/rooted", "301 to: " + nginx.Url("/f/c.zip"), "c.zip",
       "/f/c.zip", 2},
      {"another server", "/dir/other", "302 to: " + other.Url("/e.bin"), "e.bin", "elsewhere", 1},
      {"twenty hops", "/hops/" + twenty + "-end.bin", "302 to: " + nginx.Url("/hops/-end.bin"),
       "-end.bin", "the end", 21},
  };
  for (const auto& row : cases) {
    Item& item = NewItem(nginx.Url(row.path), dir.File("first"));
    item.SetProp(key::kName, "first");
    item.SetPropInt(key::kHttpAuth, 1);
    item.SetProp(key::kLogin, "tester");
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete)
        << row.what << ": " << item.GetProp(key::kError);
    EXPECT_TRUE(Logged(item, "HTTP Redirect " + row.hop)) << row.what;
    EXPECT_EQ(item.GetProp(key::kValue), nginx.Url(row.path)) << row.what;
    EXPECT_EQ(item.GetProp(key::kLocal), dir.File(row.name)) << row.what;
    EXPECT_EQ(item.GetProp(key::kName), row.name) << row.what;
    EXPECT_EQ(FileOf(item), row.file) << row.what;
    EXPECT_FALSE(testing::FileExistsOnDisk(dir.File("first"))) << row.what;
    EXPECT_FALSE(testing::FileExistsOnDisk(Unfinished(dir.File("first")))) << row.what;
    EXPECT_EQ(item.GetProp(key::kLogin), "tester") << row.what;
    EXPECT_EQ(Occurrences(item.GetProp(key::kLog), "Authorization: Basic"), row.authorizations)
        << row.what;
  }

  const struct {
    const char* what;
    std::string path, error;
  } refused[] = {
      {"a loop", "/loop/a",
       "Redirect loop: the server sent the download back to " + nginx.Url("/loop/a")},
      {"twenty-one hops", "/hops/x" + twenty + "-end.bin", "Too many redirects: more than 20"},
  };
  for (const auto& row : refused) {
    Item& item = NewItem(nginx.Url(row.path), dir.File("refused"));
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusFailed) << row.what;
    EXPECT_EQ(item.GetProp(key::kError), row.error) << row.what;
  }
}

// A signed target that expired answers 403; the next attempt goes back
// through the item's own URL, gets a fresh target, and goes on from the bytes
// the first target gave.
TEST_F(HttpTransferTest, AResumeAfterTheTargetExpiredGoesBackThroughTheItemsUrl) {
  const std::string whole = "0123456789";
  testing::ScriptedServer server({
      Script()
          .ExpectLine("GET /get HTTP/1.0")
          .ReadUntil("\r\n\r\n")
          .Send("HTTP/1.0 302 Found\r\nLocation: /signed/1/report.pdf\r\n\r\n"),
      Script()
          .ExpectLine("GET /signed/1/report.pdf HTTP/1.0")
          .ReadUntil("\r\n\r\n")
          .Send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n0123"),
      Script()
          .ExpectLine("GET /get HTTP/1.0")
          .ReadUntil("\r\n\r\n")
          .Send("HTTP/1.0 302 Found\r\nLocation: /signed/2/report.pdf\r\n\r\n"),
      Script()
          .ExpectLine("GET /signed/2/report.pdf HTTP/1.0")
          .ExpectLine("Range: bytes=4-")
          .ReadUntil("\r\n\r\n")
          .Send("HTTP/1.0 206 Partial\r\nContent-Range: bytes 4-9/10\r\nContent-Length: "
                "6\r\n\r\n456789"),
  });
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/get";
  Item& item = NewItem(url, dir.File("get"));
  item.SetProp(key::kName, "get");
  Attempt(item);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry);
  EXPECT_EQ(item.GetProp(key::kLocal), dir.File("report.pdf"));
  EXPECT_EQ(FileOf(item), "0123");

  Attempt(item);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
  EXPECT_EQ(item.GetProp(key::kValue), url);
  EXPECT_EQ(OnDisk(dir.File("report.pdf")), whole);
  EXPECT_TRUE(server.Failures().empty()) << server.Failures().front();
}

// After a new address, the first answer shows whether it serves the file the
// bytes on disk belong to; another file keeps them for the user to decide.
TEST_F(HttpTransferTest, ANewAddressGoesOnOnlyWhenItServesTheSameFile) {
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  const std::string data = testing::RandomBytes(300'000, 41);
  nginx.AddFile("/a.bin", data);
  const std::string half = data.substr(0, 150'000);
  const struct {
    const char* what;
    int64_t heldTotal;
    std::string heldValidator;
    bool same;
  } rows[] = {
      {"the same size, no validator held", 300'000, "", true},
      {"another size", 299'999, "", false},
      {"the same size, another validator", 300'000, "ETag: \"other\"", false},
  };
  for (const auto& row : rows) {
    const std::string local = dir.File(std::to_string(&row - rows) + ".bin");
    testing::WriteFile(Unfinished(local), half);
    Item& item = NewItem(nginx.Url("/a.bin"), local);
    item.SetPropInt(key::kResume, 1);
    item.SetPropInt64(key::kRefreshedTotal, row.heldTotal);
    item.SetProp(key::kFileValidator, row.heldValidator);
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.same ? kStatusComplete : kStatusFailed)
        << row.what << ": " << item.GetProp(key::kError);
    EXPECT_TRUE(FileOf(item) == (row.same ? data : half)) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kOtherFile), row.same ? 0 : 1) << row.what;
    EXPECT_EQ(item.GetProp(key::kError).starts_with(kAnotherFileText), !row.same) << row.what;
    EXPECT_EQ(item.GetPropInt64(key::kRefreshedTotal), row.same ? 0 : row.heldTotal) << row.what;
  }
}

// The server's name for the file names it, unless the user chose one or
// bytes already stand under the old name.
TEST_F(HttpTransferTest, ContentDispositionNamesTheFileOnlyBeforeItsFirstByte) {
  testing::NginxServer::Options options;
  options.extraConfig =
      "location = /download.php {\n"
      " add_header Content-Disposition 'attachment; filename=\"Quarterly Report 2026.pdf\"';\n"
      " default_type application/octet-stream;\n}\n"
      "location = /rates {\n"
      " add_header Content-Disposition \"inline; filename*=UTF-8''%e2%82%ac%20rates.pdf; "
      "filename=rates.pdf\";\n default_type application/octet-stream;\n}\n";
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/download.php", "report");
  nginx.AddFile("/rates", "rates");
  const struct {
    const char* what;
    std::string path, local;
    bool namedByUser;
    std::string held, name;
  } rows[] = {
      {"a quoted name", "/download.php", "download.php", false, "", "Quarterly Report 2026.pdf"},
      {"filename* before filename", "/rates", "rates", false, "", "\xe2\x82\xac rates.pdf"},
      {"a name the user chose", "/rates", "mine.bin", true, "", "mine.bin"},
      {"bytes under the old name", "/download.php", "held.php", false, "rep", "held.php"},
  };
  for (const auto& row : rows) {
    if (!row.held.empty()) {
      testing::WriteFile(Unfinished(dir.File(row.local)), row.held);
    }
    Item& item = NewItem(nginx.Url(row.path), dir.File(row.local));
    item.SetProp(key::kName, row.local);
    item.SetPropInt(key::kNamedByUser, row.namedByUser ? 1 : 0);
    item.SetPropInt(key::kResume, row.held.empty() ? 0 : 1);
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << row.what;
    EXPECT_EQ(item.GetProp(key::kLocal), dir.File(row.name)) << row.what;
    EXPECT_EQ(item.GetProp(key::kName), row.name) << row.what;
    EXPECT_EQ(OnDisk(dir.File(row.name)), row.path == "/rates" ? "rates" : "report") << row.what;
    EXPECT_EQ(Logged(item, "the name the server gives (Content-Disposition)"),
              row.name != row.local)
        << row.what;
    EXPECT_FALSE(testing::FileExistsOnDisk(Unfinished(dir.File(row.local)))) << row.what;
  }
}

// A browser's download carries the browser's session: its cookies where they
// belong, its page as the referrer and its user agent; a cookie set on the
// way joins them, and none stays once the file is whole.
TEST_F(HttpTransferTest, ABrowsersDownloadGoesWithItsCookiesReferrerAndUserAgent) {
  testing::NginxServer::Options options;
  options.extraConfig =
      "location = /members/start {\n"
      " add_header Set-Cookie 'step=2; Path=/members';\n"
      " return 302 /members/report.pdf;\n}\n"
      "location = /members/report.pdf {\n"
      " set $allowed '';\n"
      " if ($http_cookie ~ 'session=s3cret') { set $allowed A; }\n"
      " if ($http_cookie ~ 'step=2') { set $allowed \"${allowed}B\"; }\n"
      " if ($http_referer ~ '/members/$') { set $allowed \"${allowed}C\"; }\n"
      " if ($http_user_agent = 'Browser/1.0') { set $allowed \"${allowed}D\"; }\n"
      " if ($allowed != ABCD) { return 403; }\n}\n";
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/members/report.pdf", "the report");
  const CookieJar browsers = {
      {"session", "s3cret", "127.0.0.1", "/members", true, false, true, 0},
      {"elsewhere", "x", "other.example", "/", true, false, false, 0},
  };
  const struct {
    const char* what;
    bool cookies;
    ItemStatus status;
  } rows[] = {
      {"without the browser's session", false, kStatusFailed},
      {"with it", true, kStatusComplete},
  };
  for (const auto& row : rows) {
    Item& item = NewItem(nginx.Url("/members/start"), dir.File(row.cookies ? "with" : "without"));
    item.SetProp(key::kCookies, row.cookies ? FormatCookieJar(browsers) : "");
    item.SetProp(key::kReferrer, nginx.Url("/members/"));
    item.SetProp(key::kUserAgent, "Browser/1.0");
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.status) << row.what << item.GetProp(key::kLog);
    // A failed download keeps them, the one set on the way too, for its resume.
    EXPECT_EQ(item.GetProp(key::kCookies).empty(), row.status == kStatusComplete) << row.what;
    EXPECT_FALSE(Logged(item, "s3cret")) << row.what;
    EXPECT_FALSE(Logged(item, "step=2")) << row.what;
    EXPECT_FALSE(Logged(item, "elsewhere")) << row.what;
    // The cookie set on the way went along even without the browser's.
    EXPECT_TRUE(Logged(item, "||Cookie: (concealed)||")) << row.what;
    EXPECT_EQ(FileOf(item), row.cookies ? "the report" : "(none)") << row.what;
  }
}

TEST_F(HttpTransferTest, EachScriptedAnswerEndsInItsOutcome) {
  const std::string request = "GET /a.bin HTTP/1.0";
  std::string tooManyLines = "HTTP/1.0 200 OK\r\n";
  while (tooManyLines.size() <= kMaxHttpHeader) {
    tooManyLines += "X-Filler: " + std::string(60, 'f') + "\r\n";
  }
  const std::string pws = "Server: Microsoft-PWS-95/2.0\r\n";
  const std::string beyond =
      "Content-Range specifies data beyond our endpoint.  Trying full transfer...";
  const struct {
    const char* what;
    Script script;
    int resume;
    std::string priorLog;
    ItemStatus status;
    std::string error, file;
  } cases[] = {
      {"a CR and its LF in two receives",
       Script()
           .ReadUntil("\r\n\r\n")
           .Send("HTTP/1.0 200 OK\r")
           .Pause(30ms)
           .Send("\nContent-Length: 6\r\n\r")
           .Pause(30ms)
           .Send("\nbo\r\ndy"),
       0, "", kStatusComplete, "", "bo\r\ndy"},
      {"lone LF lines with the body in the same receive",
       Script().ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\nContent-Length: 9\n\nline\r\nend"), 0,
       "", kStatusComplete, "", "line\r\nend"},
      {"a Microsoft-PWS answer to a range",
       Script()
           .ReadUntil("\r\n\r\n")
           .Send("HTTP/1.0 206 Partial\r\n" + pws + "Content-Range: bytes 3-5/6\r\n\r\ndef"),
       1, "", kStatusWaitingToRetry, "BUGGY WEBSERVER CAN'T RESUME.  Restart...", "abc"},
      {"a Microsoft-PWS server known from an earlier attempt",
       Script()
           .ExpectLine(request)
           .ExpectLine("Host: 127.0.0.1")
           .ReadUntil("\r\n\r\n")
           .Send("HTTP/1.0 200 OK\r\n" + pws + "\r\nwhole"),
       1, "Recv Line: " + pws, kStatusComplete, "", "whole"},
      {"a header the server does not end",
       Script().ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\r\n"), 0, "", kStatusWaitingToRetry,
       "Failed HTTP Transfer", "abc"},
      {"a header line over 16 KiB",
       Script().ReadUntil("\r\n\r\n").Send(std::string(kMaxHttpHeaderLine + 1, 'x')).Pause(20s), 0,
       "", kStatusWaitingToRetry, "Failed HTTP Transfer", "abc"},
      {"a header over 256 KiB", Script().ReadUntil("\r\n\r\n").Send(tooManyLines).Pause(20s), 0, "",
       kStatusWaitingToRetry, "Failed HTTP Transfer", "abc"},
      {"a reset connection", Script().ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\r\n").Reset(), 0,
       "", kStatusWaitingToRetry, "Receive Error: Connection Reset By Host", "abc"},
      {"a range beyond the local file",
       Script().ReadUntil("\r\n\r\n").Send("HTTP/1.0 206 P\r\nContent-Range: bytes 9-9/10\r\n\r\n"),
       1, "", kStatusWaitingToRetry, beyond, "abc"},
      {"an interim 100 Continue before the answer",
       Script()
           .ReadUntil("\r\n\r\n")
           .Send("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n")
           .Pause(30ms)
           .Send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nwhole"),
       0, "", kStatusComplete, "", "whole"},
      {"a chunked body, complete before the server closes",
       Script()
           .ReadUntil("\r\n\r\n")
           .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel")
           .Pause(30ms)
           .Send("lo\r\n1;name=x\r\n!\r\nA \r\n0123456789\n0\r\nX-Trailer: t\r\n\r\n")
           .Pause(20s),
       0, "", kStatusComplete, "", "hello!0123456789"},
      {"a range before the start of the file",
       Script()
           .ReadUntil("\r\n\r\n")
           .Send("HTTP/1.0 206 P\r\nContent-Range: bytes -5-9/10\r\n\r\n"),
       1, "", kStatusWaitingToRetry, beyond, "abc"},
  };
  for (const auto& row : cases) {
    testing::ScriptedServer server({row.script});
    testing::WriteFile(Unfinished(dir.File("a.bin")), "abc");
    Item& item =
        NewItem("http://127.0.0.1:" + std::to_string(server.port()) + "/a.bin", dir.File("a.bin"));
    item.SetPropInt(key::kResume, row.resume);
    item.SetProp(key::kLog, row.priorLog);
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.status)
        << row.what << ": " << item.GetProp(key::kError);
    EXPECT_EQ(item.GetProp(key::kError), row.error) << row.what;
    EXPECT_EQ(FileOf(item), row.file) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kResume), 0) << row.what;
    EXPECT_EQ(server.Failures(), std::vector<std::string>()) << row.what;
  }
}

TEST_F(HttpTransferTest, FieldsAreReadWhateverTheirBlanksAndABodyEndsAtItsLength) {
  const std::string ok = "HTTP/1.1 200 OK\r\n";
  const struct {
    const char* what;
    Script script;
    int status;
    std::string file, size, error;
  } cases[] = {
      {"a length without a blank, cut short",
       Script().ReadUntil("\r\n\r\n").Send(ok + "Content-Length:10\r\n\r\nshort"), 5, "short", "10",
       "Transfer completed normally but was short of the supposed total.  Retrying..."},
      {"a body longer than its length",
       Script().ReadUntil("\r\n\r\n").Send(ok + "Content-Length: 4\r\n\r\n123456789"), 2, "1234",
       "4", ""},
      {"a server that keeps the connection open after the length",
       Script().ReadUntil("\r\n\r\n").Send(ok + "Content-Length: 4\r\n\r\n1234").Pause(45s), 2,
       "1234", "4", ""},
      {"a chunked body that also gives its encoded length",
       Script()
           .ReadUntil("\r\n\r\n")
           .Send(ok +
                 "Content-Length: 14\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n0\r\n\r\n"),
       2, "abcd", "0", ""},
      {"a zero-padded chunk size",
       Script()
           .ReadUntil("\r\n\r\n")
           .Send(ok + "Transfer-Encoding: chunked\r\n\r\n0000000000000004\r\nabcd\r\n0\r\n\r\n"),
       2, "abcd", "0", ""},
      {"a field beginning with http after the location",
       Script()
           .ReadUntil("\r\n\r\n")
           .Send(
               "HTTP/1.0 302 Found\r\nLocation:http://other.invalid/b.bin\r\nHTTP-Date: x\r\n\r\n"),
       3, "(none)", "0", "Host Lookup Error: Host Not Found"},
  };
  for (const auto& row : cases) {
    testing::ScriptedServer server({row.script});
    const std::string local = dir.File("f" + std::to_string(&row - cases));
    Item& item = NewItem("http://127.0.0.1:" + std::to_string(server.port()) + "/a.bin", local);
    const auto started = std::chrono::steady_clock::now();
    Attempt(item);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.status) << row.what;
    EXPECT_EQ(item.GetProp(key::kError), row.error) << row.what;
    EXPECT_EQ(FileOf(item), row.file) << row.what;
    EXPECT_EQ(item.GetProp(key::kSize), row.size) << row.what;
  }
}

TEST_F(HttpTransferTest, ABrokenChunkedBodyIsRetriedFromWhatArrived) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const struct {
    const char* what;
    std::string answer;
    std::string file;
  } cases[] = {
      {"a size that is no number", head + "3\r\nabc\r\nzz\r\n", "abc"},
      {"data longer than its size", head + "3\r\nabcdef\r\n", "abc"},
      {"a size beyond any real chunk", head + "1000000000000000\r\n", ""},
      {"a close before the last chunk", head + "3\r\nabc\r\n", "abc"},
  };
  for (const auto& row : cases) {
    testing::ScriptedServer server({Script().ReadUntil("\r\n\r\n").Send(row.answer)});
    const std::string local = dir.File(std::to_string(&row - cases));
    Item& item = NewItem("http://127.0.0.1:" + std::to_string(server.port()) + "/c", local);
    Attempt(item);
    EXPECT_EQ(item.GetProp(key::kError), "Failed HTTP Transfer: malformed chunked body")
        << row.what;
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kResume), 1) << row.what;
    EXPECT_EQ(FileOf(item), row.file.empty() ? "(none)" : row.file) << row.what;
  }
}

TEST_F(HttpTransferTest, AHeaderDrippedOutForMoreThanTwoMinutesIsGivenUp) {
  // The test serves the lines itself, each only after the clock has moved.
  testing::LoopbackSocket listener = testing::ListenLoopback();
  Item& item =
      NewItem("http://127.0.0.1:" + std::to_string(listener.LocalPort()) + "/a", dir.File("a"));
  auto session = Session(item);
  ASSERT_TRUE(StepUntil(*session, [&] { return WaitOf(*session).starts_with("read from"); }));
  testing::LoopbackSocket server = listener.Accept();
  ASSERT_TRUE(server.valid() && server.ReceiveUntil("\r\n\r\n")) << server.error();
  ASSERT_TRUE(server.Send("HTTP/1.0 200 OK\r\n"));
  ASSERT_TRUE(StepUntil(*session, [&] { return Logged(item, "Recv Line: HTTP/1.0 200 OK"); }));
  // Never silent for a minute, but the header is not whole two minutes after it began.
  for (int line = 0; line < 3; ++line) {
    clock.tick += 50'000;
    ASSERT_TRUE(server.Send("X-Drip: " + std::to_string(line) + "\r\n"));
    ASSERT_TRUE(StepUntil(*session, [&] {
      return Logged(item, "Recv Line: X-Drip: " + std::to_string(line)) ||
             item.GetPropInt(key::kStatus) != kStatusTransferring;
    }));
  }
  EXPECT_EQ(item.GetProp(key::kError), "Receive Error: Timed Out");
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry);
  EXPECT_TRUE(Logged(item, "Recv Line: X-Drip: 1"));
  EXPECT_FALSE(Logged(item, "Recv Line: X-Drip: 2"));
}

TEST_F(HttpTransferTest, TheRequestCarriesRangeAndEveryOctetOfTheCredentials) {
  testing::ScriptedServer server({
      Script().ReadUntil("\r\n\r\n").Send("HTTP/1.0 401 Unauthorized\r\n\r\n"),
      Script()
          .ReadUntil("\r\n\r\n")
          .Send("HTTP/1.0 206 Partial\r\nContent-Range: bytes 3-5/6\r\n\r\ndef"),
  });
  testing::WriteFile(Unfinished(dir.File("six")), "abc");
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/six";
  Item& item = NewItem(url, dir.File("six"));
  item.SetProp(key::kLogin, "\xc3\xbcser");
  item.SetProp(key::kPassword, "p\xe4ss\xff");
  item.SetPropInt(key::kResume, 1);
  Attempt(item);
  ASSERT_TRUE(server.WaitUntilDone());
  EXPECT_EQ(
      server.Lines(1),
      (std::vector<std::string>{
          "GET /six HTTP/1.0", "Authorization: Basic w7xzZXI6cORzc/8=", "Range: bytes=3-",
          "Host: 127.0.0.1", "User-Agent: Pellmarsh 1.2", "Accept: */*", "Referer: " + url, ""}));
  EXPECT_EQ(testing::ReadFile(dir.File("six")), "abcdef");
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kError);
}

TEST_F(HttpTransferTest, TheAnonymousFtpLoginOfTheNewHostEntryIsNeverSentOverHttp) {
  const Script unauthorized =
      Script().ReadUntil("\r\n\r\n").Send("HTTP/1.0 401 Unauthorized\r\n\r\n").Close();
  testing::ScriptedServer server({unauthorized, unauthorized});
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/private";
  for (const int storedAuth : {0, 1}) {  // 1: a data file's item that asked before
    Item& item = NewItem(url, dir.File("private"));
    item.SetProp(key::kLogin, kAnonymousLogin);
    item.SetProp(key::kPassword, kAnonymousPassword);
    item.SetPropInt(key::kHttpAuth, storedAuth);
    Attempt(item);
    EXPECT_EQ(item.GetProp(key::kError), "Failure: HTTP/1.0 401 Unauthorized") << storedAuth;
  }
  ASSERT_TRUE(server.WaitUntilDone());
  for (size_t connection = 0; connection < 2; ++connection) {
    EXPECT_EQ(server.Lines(connection)[1], "Host: 127.0.0.1");  // no Authorization line
  }
}

TEST_F(HttpTransferTest, AUrlHoldingAControlCharacterIsNeverSent) {
  for (const std::string& path :
       {std::string("/a\r\nX-Injected: yes"), std::string("/a\0b", 4), std::string("/a\tb")}) {
    testing::ScriptedServer server({Script().ExpectClosed()});
    Item& item =
        NewItem("http://127.0.0.1:" + std::to_string(server.port()) + path, dir.File("out"));
    Attempt(item);
    EXPECT_EQ(item.GetProp(key::kError),
              "Refused to send an HTTP request holding a control character.")
        << path;
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusFailed);
    server.WaitUntilDone();
    EXPECT_TRUE(server.Lines().empty());
  }
}

TEST_F(HttpTransferTest, BodyBytesInTheHeaderReceiveAreWrittenInThatStep) {
  const std::string body = testing::RandomBytes(200, 7);
  testing::ScriptedServer server(
      {Script()
           .ReadUntil("\r\n\r\n")
           .Send("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + body)
           .Pause(20s)});
  Item& item = NewItem("http://127.0.0.1:" + std::to_string(server.port()) + "/a", dir.File("a"));
  auto session = Session(item);
  ASSERT_TRUE(StepUntil(*session, [&] { return session->stepBytes() > 0; }));
  EXPECT_EQ(session->stepBytes(), 200);
  EXPECT_EQ(item.GetProp(key::kSize), "1000");
  EXPECT_EQ(item.GetProp(key::kReceived), "200");
  EXPECT_EQ(item.GetPropInt(key::kResume), 1);
  EXPECT_TRUE(testing::ReadFile(Unfinished(dir.File("a"))) == body);
}

TEST_F(HttpTransferTest, TheRequestWaitsToBeWrittenAndTheResponseToBeRead) {
  testing::ScriptedServer server({Script().ReadUntil("\r\n\r\n").Pause(20s)});
  Item& item = NewItem("http://127.0.0.1:" + std::to_string(server.port()) + "/a", dir.File("a"));
  auto session = Session(item);
  const std::string port = std::to_string(server.port());
  ASSERT_TRUE(StepUntil(*session, [&] { return session->state() == SessionState::kTransfer; }));
  EXPECT_EQ(WaitOf(*session), "write to " + port);
  session->Step();
  EXPECT_EQ(WaitOf(*session), "read from " + port);
}

TEST_F(HttpTransferTest, AServerSilentForMoreThanAMinuteIsGivenUp) {
  for (const std::string sent : {"HTTP/1.0 200 OK\r\n", "HTTP/1.0 200 OK\r\n\r\nabc"}) {
    testing::ScriptedServer server({Script().ReadUntil("\r\n\r\n").Send(sent).Pause(20s)});
    Item& item = NewItem("http://127.0.0.1:" + std::to_string(server.port()) + "/a", dir.File("a"));
    auto session = Session(item);
    ASSERT_TRUE(StepUntil(*session, [&] {
      return Logged(item, "Recv Line: HTTP/1.0 200 OK") &&
             item.GetPropInt64(key::kReceivedSession) == (sent.ends_with("abc") ? 3 : 0);
    })) << sent;
    clock.tick += SessionHost::kSilenceLimitMs;
    session->Step();
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusTransferring)
        << sent << ": a minute is not yet too long";
    clock.tick += 1;
    session->Step();
    EXPECT_EQ(item.GetProp(key::kError), "Receive Error: Timed Out") << sent;
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry) << sent;
  }
}

TEST_F(HttpTransferTest, ABusyServerIsWaitedOutForAsLongAsItAsksAndOtherErrorsAreFinal) {
  const struct {
    const char* what;
    int code;
    std::string retryAfter;
    ItemStatus status;
    int wait;  // the retry's countdown
  } cases[] = {
      {"503 asking two minutes", 503, "120", kStatusWaitingToRetry, 120},
      {"429 asking until a date", 429, "Sun, 09 Sep 2001 01:51:40 GMT", kStatusWaitingToRetry, 300},
      {"503 asking a day", 503, "86400", kStatusWaitingToRetry, 3600},
      {"503 asking no wait at all", 503, "0", kStatusWaitingToRetry, 1},
      {"500 with no answer when", 500, "", kStatusWaitingToRetry, 10},
      {"502", 502, "", kStatusWaitingToRetry, 10},
      {"504", 504, "", kStatusWaitingToRetry, 10},
      {"404", 404, "", kStatusFailed, 0},
      {"403 asking to come back", 403, "5", kStatusFailed, 0},
      {"501", 501, "", kStatusFailed, 0},
  };
  testing::NginxServer::Options options;
  for (const auto& row : cases) {
    options.extraConfig +=
        "    location = /" + std::to_string(row.code) + row.retryAfter.substr(0, 3) + " {\n" +
        (row.retryAfter.empty()
             ? ""
             : "      add_header Retry-After \"" + row.retryAfter + "\" always;\n") +
        "      return " + std::to_string(row.code) + ";\n    }\n";
  }
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  ASSERT_EQ(clock.unixTime, 1'000'000'000);  // five minutes before the date above
  for (const auto& row : cases) {
    Item& item = NewItem(nginx.Url("/" + std::to_string(row.code) + row.retryAfter.substr(0, 3)),
                         dir.File(row.what));
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.status) << row.what;
    // The row's retry text shows the answer.
    EXPECT_TRUE(
        item.GetProp(key::kError).starts_with("Failure: HTTP/1.1 " + std::to_string(row.code)))
        << row.what << ": " << item.GetProp(key::kError);
    if (row.status == kStatusWaitingToRetry) {
      EXPECT_EQ(item.GetPropInt(key::kRetryTimeout), row.wait) << row.what;
    }
  }
}

TEST_F(HttpTransferTest, ADownloadIsToldCompleteOnlyOnceItsLastBytesAreWritten) {
  // Text mode holds a last CR back until the end; the file may take three
  // bytes, so writing it fails only then.
  testing::ScriptedServer server(
      {Script().ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\r\n\r\nabc\r")});
  Item& item =
      NewItem("http://127.0.0.1:" + std::to_string(server.port()) + "/a.txt", dir.File("a.txt"));
  item.SetPropInt(key::kTransferCode, 2);
  {
    testing::FileSizeLimit limit(3);
    Attempt(item);
  }

  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusFailed);
  EXPECT_EQ(item.GetProp(key::kError), "Error writing local file!");
  EXPECT_EQ(std::count(events.raised.begin(), events.raised.end(), "COMPLETE"), 0);
  EXPECT_FALSE(Logged(item, "Successful data transfer")) << item.GetProp(key::kLog);
}

TEST_F(HttpTransferTest, AFileIsSavedAsServedUnlessTheUserAsksForTextAndItsSizeIsTheFilesOwn) {
  testing::NginxServer::Options options;
  options.contentTypes = {{"/notes.dat", "text/plain"}};
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  const std::string served = "one\r\ntwo\r\nthree\r\n";
  const std::string converted = testing::ConvertedLineEnds(served);
  nginx.AddFile("/notes.dat", served);
  const struct {
    const char* what;
    bool convert;  // "Convert line ends of files the server calls text"
    int transferCode;
    std::string file;
  } cases[] = {
      {"a text type, conversion off", false, 0, served},
      {"the item's own Text type, conversion off", false, 2, converted},
      {"a text type, conversion on", true, 0, converted},
      {"the item's own Binary type, conversion on", true, 1, served},
  };
  int index = 0;
  for (const auto& row : cases) {
    tree.Lock()->SetPropInt(setting::kConvertLineEnds, row.convert ? 1 : 0);
    const std::string local = dir.File("notes-" + std::to_string(++index) + ".dat");
    Item& item = NewItem(nginx.Url("/notes.dat"), local);
    item.SetPropInt(key::kTransferCode, row.transferCode);
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << row.what;
    EXPECT_EQ(FileOf(item), row.file) << row.what;
    const auto size = static_cast<int64_t>(row.file.size());
    EXPECT_EQ(item.GetPropInt64(key::kSize), size) << row.what;
    EXPECT_EQ(item.GetPropInt64(key::kReceived), size) << row.what;
  }
}

}  // namespace
}  // namespace pellmarsh
