#include "transfer/session/transfer_session.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/random_bytes.h"
#include "support/scripted_server.h"
#include "transfer/line_end_converter.h"
#include "transfer/session/session_harness.h"

namespace pellmarsh {
namespace {

using TransferSessionTest = testing::SessionHarness;

// A loopback port that nothing listens on.
int ClosedPort() {
  TcpSocket probe;
  probe.Create();
  probe.Bind({INADDR_LOOPBACK, 0});
  SocketAddress bound;
  probe.LocalAddress(bound);
  return bound.port;
}

TEST_F(TransferSessionTest, AFileUrlIsCopiedWholeWithItsStoryInTheLog) {
  const std::string data = testing::RandomBytes(10 * 1024 * 1024 + 17, 5);
  testing::WriteFile(dir.File("source.bin"), data);
  Item& item = NewItem("file://" + dir.File("source.bin"), dir.File("copy.bin"));
  auto session = Session(item);
  RunToEnd(*session);

  EXPECT_EQ(testing::ReadFile(dir.File("copy.bin")), data);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete);
  EXPECT_EQ(item.GetPropInt64(key::kReceived), static_cast<int64_t>(data.size()));
  EXPECT_EQ(item.GetPropInt64(key::kFinish), clock.unixTime);
  EXPECT_EQ(item.GetPropInt(key::kResume), 0);
  EXPECT_EQ(LogTexts(item), (std::vector<std::string>{
                                "Start: file://" + dir.File("source.bin"),
                                "Binary transfer.",
                                "Connecting to host at 0.0.0.0, port 0",
                                "Transferring data...",
                                "Successful data transfer, got 10485777 bytes this session.",
                            }));
  EXPECT_EQ(events.raised, (std::vector<std::string>{"START", "COMPLETE"}));
  EXPECT_FALSE(session->Step());
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete);
}

TEST_F(TransferSessionTest, TextModeConvertsLineEndsAcrossEveryBufferBoundary) {
  std::string data;
  std::mt19937 random(3);
  const char pieces[] = {'\r', '\n', 'a', 'b'};
  for (int index = 0; index < 300'000; ++index) {
    data.push_back(pieces[random() % 4]);
  }
  testing::WriteFile(dir.File("notes.txt"), data);
  Item& item = NewItem("file://" + dir.File("notes.txt"), dir.File("copy.txt"));
  item.SetPropInt(key::kTransferCode, 2);  // file URLs carry no extension to go by
  auto session = Session(item);
  RunToEnd(*session);

  LineEndConverter reference;
  std::string expected;
  reference.Convert(data.data(), data.size(), expected);
  reference.Flush(expected);
  EXPECT_TRUE(testing::ReadFile(dir.File("copy.txt")) == expected);
  // A whole text file counts its own bytes, as a row tells them.
  EXPECT_EQ(item.GetPropInt64(key::kReceived), static_cast<int64_t>(expected.size()));
}

TEST_F(TransferSessionTest, TheTransferCodeForcesTheMode) {
  testing::WriteFile(dir.File("a.txt"), "x\ny");
  testing::WriteFile(dir.File("b.zip"), "x\r\ny");
  Item& binary = NewItem("file://" + dir.File("a.txt"), dir.File("a.out"));
  binary.SetPropInt(key::kTransferCode, 1);
  Item& text = NewItem("file://" + dir.File("b.zip"), dir.File("b.out"));
  text.SetPropInt(key::kTransferCode, 2);
  Item& automatic = NewItem("file://" + dir.File("b.zip"), dir.File("c.out"));
  for (Item* item : {&binary, &text, &automatic}) {
    auto session = Session(*item);
    RunToEnd(*session);
  }
  EXPECT_EQ(LogTexts(binary)[1], "User forced binary transfer.");
  EXPECT_EQ(testing::ReadFile(dir.File("a.out")), "x\ny");
  EXPECT_EQ(LogTexts(text)[1], "User forced text transfer.");
  EXPECT_EQ(testing::ReadFile(dir.File("b.out")), "x\ny");
  EXPECT_EQ(LogTexts(automatic)[1], "Binary transfer.");
}

TEST_F(TransferSessionTest, AWholeCopyOverALongerOldFileLeavesNoStaleBytes) {
  testing::WriteFile(dir.File("source"), "new");
  testing::WriteFile(Unfinished(dir.File("target")), "old and much longer");
  Item& item = NewItem("file://" + dir.File("source"), dir.File("target"));
  auto session = Session(item);
  RunToEnd(*session);
  EXPECT_EQ(testing::ReadFile(dir.File("target")), "new");
  EXPECT_FALSE(testing::FileExistsOnDisk(Unfinished(dir.File("target"))));
}

TEST_F(TransferSessionTest, AnEmptyDownloadKeepsItsFileAndAnAbandonedEmptyOneGoes) {
  testing::WriteFile(dir.File("empty"), "");
  Item& item = NewItem("file://" + dir.File("empty"), dir.File("copy"));
  {
    auto session = Session(item);
    RunToEnd(*session);
  }
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete);
  ASSERT_TRUE(testing::FileExistsOnDisk(dir.File("copy")));

  Item& stopped = NewItem("file://" + dir.File("empty"), dir.File("stopped"));
  {
    auto session = Session(stopped);
    session->Step();  // the save file is open
    session->Step();
    stopped.SetPropInt(key::kStatus, kStatusStopRequested);
    RunToEnd(*session);
  }
  EXPECT_FALSE(testing::FileExistsOnDisk(dir.File("stopped")));
}

// GCC names an AddressSanitizer build by a macro, Clang by a feature.
#if defined(__SANITIZE_ADDRESS__)
#define PELLMARSH_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PELLMARSH_UNDER_ASAN 1
#endif
#endif

TEST_F(TransferSessionTest, RunningOutOfDescriptorsIsRetriedNotFatal) {
#ifdef PELLMARSH_UNDER_ASAN
  GTEST_SKIP() << "the sanitizers' own checks need descriptors while none are left";
#endif
  testing::WriteFile(dir.File("source"), "data");
  Item& item = NewItem("file://" + dir.File("source"), dir.File("copy"));
  auto session = Session(item);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  // Every descriptor below a low limit taken, so the save file cannot open.
  rlimit low = saved;
  low.rlim_cur = 64;
  std::vector<int> filler;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
    filler.push_back(fd);
  }
  RunToEnd(*session);
  for (int fd : filler) {
    ::close(fd);
  }
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry);
  EXPECT_EQ(item.GetProp(key::kError),
            "Couldn't open save file " + Unfinished(dir.File("copy")) + ".");
}

struct LocalFailureCase {
  const char* what;
  std::string source;
  std::string local;
  std::string error;
};

TEST_F(TransferSessionTest, LocalFileProblemsFailPermanently) {
  testing::WriteFile(dir.File("present"), "data");
  testing::WriteFile(dir.File("victim"), "precious");
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink(dir.File("victim").c_str(), Unfinished(dir.File("link")).c_str()), 0);
  ASSERT_EQ(::symlink(dir.File("elsewhere").c_str(), Unfinished(dir.File("dangling")).c_str()), 0);
  const auto notCopied = [](const std::string& source) {
    return "Could not open local copy-from file: " + source;
  };
  const auto notOpened = [](const std::string& local) {
    return "Couldn't open save file " + Unfinished(local) + ".";
  };
  const LocalFailureCase cases[] = {
      {"a missing source", dir.File("absent"), dir.File("out1"), notCopied(dir.File("absent"))},
      {"a FIFO without a writer", dir.File("fifo"), dir.File("out2"), notCopied(dir.File("fifo"))},
      {"a directory", dir.path(), dir.File("out3"), notCopied(dir.path())},
      {"a device that never ends", "/dev/zero", dir.File("out4"), notCopied("/dev/zero")},
      {"an unfinished file that links to a file", dir.File("present"), dir.File("link"),
       notOpened(dir.File("link"))},
      {"an unfinished file that links to nothing", dir.File("present"), dir.File("dangling"),
       notOpened(dir.File("dangling"))},
      {"a save file that cannot be made", dir.File("present"), dir.File("no-dir/out"),
       notOpened(dir.File("no-dir/out"))},
      {"a full disk", dir.File("present"), "/dev/full", "Error writing local file!"},
  };
  for (const auto& row : cases) {
    events.raised.clear();
    Item& item = NewItem("file://" + row.source, row.local);
    {
      auto session = Session(item);
      RunToEnd(*session);
    }
    EXPECT_EQ(item.GetProp(key::kError), row.error) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusFailed) << row.what;
    EXPECT_EQ(events.raised.back(), "BROKEN") << row.what;
    const std::vector<std::string> texts = LogTexts(item);
    EXPECT_NE(std::find(texts.begin(), texts.end(), row.error), texts.end()) << row.what;
  }
  // The save file made for the missing source was empty, so it went with the session.
  EXPECT_FALSE(testing::FileExistsOnDisk(dir.File("out1")));
  EXPECT_EQ(testing::ReadFile(dir.File("victim")), "precious");
  EXPECT_FALSE(testing::FileExistsOnDisk(dir.File("elsewhere")));
}

TEST_F(TransferSessionTest, UnparsableUrlsFailPermanentlyAndStillLogTheConnectLine) {
  Item& item = NewItem("nonsense", dir.File("out"));
  auto session = Session(item);
  RunToEnd(*session);
  EXPECT_EQ(item.GetProp(key::kError), "Malformed URL");
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusFailed);
  EXPECT_EQ(LogTexts(item), (std::vector<std::string>{"Start: nonsense", "Malformed URL",
                                                      "Connecting to host at 0.0.0.0, port 0"}));
}

TEST_F(TransferSessionTest, ARedirectToAPortNoSocketHoldsOrAControlCharacterFailsForGood) {
  using Script = testing::ScriptedServer::Script;
  // Cut to 16 bits, the first location's port would be this server's.
  const testing::ScriptedServer wrapped(std::vector<Script>{});
  for (const auto& [location, error] : {
           std::pair{"http://127.0.0.1:" + std::to_string(wrapped.port() + 65536) + "/f",
                     "Malformed URL"},
           std::pair{std::string("http://127.0.0.1:0/f"), "Malformed URL"},
           std::pair{std::string("https://a\x01z/f"), "Control character in URL"},
       }) {
    testing::ScriptedServer redirector(
        {Script()
             .ReadUntil("\r\n\r\n")
             .Send("HTTP/1.0 302 Found\r\nLocation: " + location + "\r\n\r\n")});
    Item& item =
        NewItem("http://127.0.0.1:" + std::to_string(redirector.port()) + "/r", dir.File("r"));
    Attempt(item);
    EXPECT_EQ(item.GetProp(key::kError), error) << location;
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusFailed) << location;
  }
  EXPECT_EQ(wrapped.ConnectionsAccepted(), 0u);
}

TEST_F(TransferSessionTest, HostProblemsFailPermanently) {
  std::string processDuringLookup;
  resolver.duringLookup = [&] {
    processDuringLookup = tree.Lock()->FindByName("_filelist")->ChildAt(0)->GetProp(key::kProcess);
  };
  Item& unknown = NewItem("http://nosuch.example/x", dir.File("out"));
  auto session = Session(unknown);
  RunToEnd(*session);
  EXPECT_EQ(processDuringLookup, "Resolving nosuch.example...");
  EXPECT_EQ(unknown.GetProp(key::kError), "Host Lookup Error: Host Not Found");
  EXPECT_EQ(unknown.GetPropInt(key::kStatus), kStatusFailed);

  Item& badAddress = NewItem("http://1.2.3.256/x", dir.File("out"));
  session = Session(badAddress);
  RunToEnd(*session);
  EXPECT_EQ(badAddress.GetProp(key::kError), "Bad IP Address: 1.2.3.256");
  EXPECT_EQ(badAddress.GetPropInt(key::kStatus), kStatusFailed);
}

TEST_F(TransferSessionTest, ARefusedConnectionIsRetried) {
  const int port = ClosedPort();
  Item& item = NewItem("http://127.0.0.1:" + std::to_string(port) + "/x", dir.File("out"));
  auto session = Session(item);
  RunToEnd(*session);
  EXPECT_NE(item.GetProp(key::kError).find("Connection Refused by Host"), std::string::npos)
      << item.GetProp(key::kError);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry);
  EXPECT_EQ(item.GetPropInt(key::kRetryCount), 1);
  EXPECT_EQ(item.GetPropInt(key::kRetryDelay), 10);
  EXPECT_EQ(events.raised, std::vector<std::string>{"FAIL"});
  EXPECT_NE(
      item.GetProp(key::kLog).find("Connecting to host at 127.0.0.1, port " + std::to_string(port)),
      std::string::npos);
}

TEST_F(TransferSessionTest, AConnectThatNeverCompletesTimesOutAfterAMinute) {
  // A listener whose backlog is full leaves further connects pending.
  TcpSocket listener;
  listener.Create();
  listener.Bind({INADDR_LOOPBACK, 0});
  listener.Listen(0);
  SocketAddress at;
  listener.LocalAddress(at);
  std::vector<TcpSocket> fillers(4);
  for (TcpSocket& filler : fillers) {
    filler.Create();
    filler.SetNonBlocking();
    filler.Connect(at);
  }
  Item& item = NewItem("http://127.0.0.1:" + std::to_string(at.port) + "/", dir.File("out"));
  auto session = Session(item);
  session->Step();  // Init
  session->Step();  // Connect
  ASSERT_EQ(session->state(), SessionState::kConnectWait);
  session->Step();
  if (session->state() != SessionState::kConnectWait) {
    GTEST_SKIP() << "this system completed the connect despite the full backlog";
  }
  clock.tick += SessionHost::kConnectTimeoutMs + 1;
  session->Step();
  EXPECT_EQ(item.GetProp(key::kError), "Could not connect: Timed Out");
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry);
}

TEST_F(TransferSessionTest, AStopOrGoingOfflineEndsTheSessionInEveryState) {
  testing::WriteFile(dir.File("big"), testing::RandomBytes(200'000, 5));
  TcpSocket listener;
  listener.Create();
  listener.Bind({INADDR_LOOPBACK, 0});
  listener.Listen(8);
  SocketAddress at;
  listener.LocalAddress(at);
  const std::string httpUrl = "http://127.0.0.1:" + std::to_string(at.port) + "/x";
  const std::string fileUrl = "file://" + dir.File("big");
  struct StateCase {
    std::string url;
    int stepsBefore;
    SessionState state;
  };
  const StateCase states[] = {
      {httpUrl, 0, SessionState::kInit},        {httpUrl, 1, SessionState::kConnect},
      {httpUrl, 2, SessionState::kConnectWait}, {fileUrl, 1, SessionState::kStart},
      {fileUrl, 3, SessionState::kTransfer},
  };
  for (const int request : {103, 105}) {
    for (const auto& row : states) {
      events.raised.clear();
      Item& item = NewItem(row.url, dir.File("out"));
      auto session = Session(item);
      for (int step = 0; step < row.stepsBefore; ++step) {
        session->Step();
      }
      ASSERT_EQ(session->state(), row.state) << request;
      const std::string logBefore = item.GetProp(key::kLog);
      item.SetPropInt(key::kStatus, request);
      RunToEnd(*session);
      const std::string where =
          std::to_string(request) + " in state " + std::to_string(static_cast<int>(row.state));
      EXPECT_EQ(events.raised.back(), "STOP") << where;
      if (request == 103) {
        EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusOnHold) << where;
        EXPECT_EQ(item.GetProp(key::kError), "User cancelled transfer.") << where;
        EXPECT_EQ(item.GetProp(key::kLog), logBefore) << where;
      } else {
        EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry) << where;
        EXPECT_EQ(item.GetProp(key::kError), "Went offline.") << where;
        EXPECT_EQ(item.GetPropInt(key::kRetryDelay), 5) << where;
        EXPECT_EQ(item.GetPropInt(key::kRetryTimeout), 5) << where;
        EXPECT_EQ(item.GetPropInt(key::kRetryCount), 1) << where;
        EXPECT_EQ(std::count(events.raised.begin(), events.raised.end(), "FAIL"), 0) << where;
      }
    }
  }
}

TEST_F(TransferSessionTest, AStopDuringANameLookupIsSeenAtTheNextStep) {
  Item& item = NewItem("http://slow.example/x", dir.File("out"));
  resolver.names["slow.example"] = {INADDR_LOOPBACK, 0};
  // The user stops the item while the lookup runs without the tree lock.
  resolver.duringLookup = [&] {
    TreeLockGuard lock(treeLock);
    item.SetPropInt(key::kStatus, kStatusStopRequested);
  };
  auto session = Session(item);
  session->Step();
  EXPECT_EQ(session->state(), SessionState::kInit);
  RunToEnd(*session);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusOnHold);
  EXPECT_EQ(item.GetProp(key::kError), "User cancelled transfer.");
}

TEST_F(TransferSessionTest, TheLogKeepsEarlierAttemptsOnlyWhenAskedTo) {
  testing::WriteFile(dir.File("s"), "x");
  Item& item = NewItem("file://" + dir.File("s"), dir.File("t"));
  // Each attempt after the first overwrites the file, as the user answered.
  for (int attempt = 0; attempt < 2; ++attempt) {
    ::unlink(dir.File("t").c_str());
    item.SetPropInt(key::kStatus, kStatusStarting);
    auto session = Session(item);
    RunToEnd(*session);
  }
  EXPECT_EQ(LogTexts(item).front(), "Start: file://" + dir.File("s"));
  EXPECT_EQ(LogTexts(item).size(), 5u);

  tree.Lock()->SetPropInt(setting::kDelLog, 0);
  ::unlink(dir.File("t").c_str());
  item.SetPropInt(key::kStatus, kStatusStarting);
  auto session = Session(item);
  RunToEnd(*session);
  const std::vector<std::string> texts = LogTexts(item);
  ASSERT_EQ(texts.size(), 11u);
  EXPECT_EQ(texts[5], "--------------------------");
  EXPECT_EQ(texts[6], "Start: file://" + dir.File("s"));
}

TEST_F(TransferSessionTest, ByteCountsBeyondFourGigabytesAreExact) {
  // A sparse source reads fast; writing into /dev/null keeps the disk out of it.
  const std::string source = dir.File("sparse");
  const int64_t size = 5LL * 1024 * 1024 * 1024 + 3;
  {
    const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
  }
  Item& item = NewItem("file://" + source, "/dev/null");
  auto session = Session(item);
  RunToEnd(*session);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kError);
  EXPECT_EQ(item.GetProp(key::kReceived), "5368709123");
  EXPECT_EQ(item.GetProp(key::kReceivedSession), "5368709123");
}

}  // namespace
}  // namespace pellmarsh
