#include "transfer/segments/segmented_transfer.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>

#include "store/data_file.h"
#include "support/cutting_proxy.h"
#include "support/nginx_server.h"
#include "support/random_bytes.h"
#include "support/range_server.h"
#include "transfer/segment_map.h"
#include "transfer/segments/sparse_file.h"
#include "transfer/session/session_harness.h"
#include "transfer/unfinished_file.h"

namespace pellmarsh {
namespace {

constexpr size_t kFileSize = 6 * 1024 * 1024 + 123;

TEST(SegmentMap, KeepsItsPartsThroughTheItemAndSplitsTheLargestRemainder) {
  SegmentMap map = SegmentMap::Even(10'000'000, 3);
  map.segments[0].next = 1'000'000;
  const std::optional<SegmentMap> read = SegmentMap::Parse(map.Format());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Format(),
            "10000000 0-3333333:1000000 3333333-6666666:3333333 6666666-10000000:6666666");
  EXPECT_EQ(read->received(), 1'000'000);

  // The part with most left gives the back half of what it has left.
  const std::optional<size_t> added = map.SplitLargest(1'000'000);
  ASSERT_TRUE(added);
  EXPECT_EQ(map.segments[2].end, map.segments[*added].start);
  EXPECT_EQ(map.segments[*added].end, 10'000'000);
  EXPECT_FALSE(map.SplitLargest(10'000'000));

  // A map pointing outside the file or its part is no map.
  for (const char* broken :
       {"", "0 0-0:0", "100 0-200:0", "100 10-20:5", "100 0-50:60", "100", "100 0-50:10 x"}) {
    EXPECT_FALSE(SegmentMap::Parse(broken)) << broken;
  }
}

// Windows of steps in which the parts that are wanted bring the rate that
// `rates` gives for that many (the last for more); `flowing` caps how many
// bring bytes at all.
TEST(ConnectionRamp, AddsPartsWhileEachRaisesTheRateAndGivesBackOneThatDidNot) {
  const struct {
    const char* what;
    int start, most;
    std::vector<int64_t> rates;
    int flowing;
    int wanted;
  } rows[] = {
      {"each connection capped", 1, 4, {2'000'000, 4'000'000, 6'000'000, 8'000'000}, 16, 4},
      {"nothing capped", 1, 4, {900'000'000, 850'000'000}, 16, 1},
      {"the third adds too little", 1, 8, {10'000, 20'000, 22'000}, 16, 2},
      {"resumed with three, the fourth adds nothing", 3, 4, {5'000}, 16, 3},
      {"one connection allowed", 1, 1, {2'000'000, 4'000'000}, 16, 1},
      {"an added part never brings a byte", 1, 4, {2'000'000, 4'000'000}, 1, 2},
  };
  for (const auto& row : rows) {
    ConnectionRamp ramp(row.start, row.most);
    uint32_t now = 0;
    for (int window = 0; window < 8; ++window) {
      const int parts = ramp.wanted();
      const int64_t rate = row.rates[std::min<size_t>(parts, row.rates.size()) - 1];
      const int flowing = std::min(parts, row.flowing);
      ramp.Note(now, flowing, 0);
      for (uint32_t step = 0; step < (ConnectionRamp::kSettleMs + ConnectionRamp::kWindowMs) / 50;
           ++step) {
        ramp.Note(now += 50, flowing, rate * 50 / 1000);
      }
    }
    EXPECT_EQ(ramp.wanted(), row.wanted) << row.what;
  }
}

TEST(SparseFile, EachPartGoesOnWhereItsBytesEndOnDiskLessABlock) {
  testing::TempDir dir;
  const std::string path = dir.File("parts.bin");
  const std::optional<bool> holes = AllocateWithHoles(path, 3'000'000);
  ASSERT_TRUE(holes);
  if (!*holes) {
    GTEST_SKIP() << "the filesystem of " << path << " keeps no holes";
  }
  SegmentMap map = SegmentMap::Even(3'000'000, 3);
  // The first part stopped in the block before the one where the second part
  // has begun, the third part is whole.
  const std::string bytes(1'000'000, 'x');
  {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.write(bytes.data(), 995'400);
    file.seekp(map.segments[1].start);
    file.write(bytes.data(), 100);
    file.seekp(map.segments[2].start);
    file.write(bytes.data(), static_cast<std::streamsize>(map.segments[2].left()));
  }
  AdvanceToBytesOnDisk(map, path);
  EXPECT_LE(map.segments[0].next, 995'400);
  EXPECT_GT(map.segments[0].next, 995'400 - 64 * 1024);
  EXPECT_GE(map.segments[1].next, map.segments[1].start);
  EXPECT_LE(map.segments[1].next, map.segments[1].start + 100);
  EXPECT_LT(map.segments[2].next, map.segments[2].end);
  EXPECT_GT(map.segments[2].next, map.segments[2].end - 64 * 1024);
}

class SegmentedTransferTest : public testing::SessionHarness {
 protected:
  std::unique_ptr<SegmentedTransfer> Segmented(Item& item) {
    Tree::Access access(tree);
    return std::make_unique<SegmentedTransfer>(
        item,
        TransferContext{access.root(), treeLock, *transferClock, events, resolver, names,
                        buffer.data(), buffer.size() - 1, saveRequested, &environment, &servers});
  }

  // Runs one attempt as the scheduler would, stepping until the transfer
  // ends. Time passes only while the transfer waits for nothing but time (a
  // part's retry), as the scheduler's sleep would let it: never while a
  // server's answer may be on its way, so no silence limit runs out early.
  void RunAttempt(Item& item, const std::function<void()>& everyStep = {}) {
    item.SetPropInt(key::kStatus, kStatusStarting);
    auto transfer = Segmented(item);
    EXPECT_TRUE(testing::WaitFor(
        [&] {
          if (everyStep) {
            everyStep();
          }
          if (!transfer->Step(kTransferBufferSize)) {
            return true;
          }
          std::vector<Transfer::Wait> waits;
          {
            // As the scheduler sees it.
            const Transfer& seen = *transfer;
            Tree::Access access(tree);
            seen.CollectWaits(waits);
          }
          if (waits.empty()) {
            clock.tick += 100;
          } else if (transfer->stepBytes() > 0) {
            // Bytes take time, so the rate the parts measure grows with the
            // parts that bring them, as over a link that caps each.
            clock.tick += 50;
          }
          return false;
        },
        std::chrono::seconds(60), std::chrono::milliseconds(0)))
        << "no end in time";
  }

  // One attempt while the window's save is kept waiting for up to 200 steps
  // whenever `holds` says so of the item's map; `meanwhile` sees the map at
  // each of those steps. Returns the steps the save was held.
  int RunHoldingTheSave(Item& item, const std::function<bool(const SegmentMap&)>& holds,
                        const std::function<void(const SegmentMap&)>& meanwhile) {
    std::atomic<int> saves{kSaveIdle};
    saveRequested = &saves;
    int heldSteps = 0;
    RunAttempt(item, [&] {
      Tree::Access access(tree);
      const std::optional<SegmentMap> map = SegmentMap::Parse(item.GetProp(key::kSegments));
      if (map && holds(*map) && saves != kSaveIdle && heldSteps < 200) {
        ++heldSteps;
        meanwhile(*map);
        return;
      }
      saves = kSaveIdle;
    });
    saveRequested = nullptr;
    return heldSteps;
  }

  // Attempts as the scheduler makes them, until the item no longer waits to
  // be retried as a whole.
  void RunAttempts(Item& item) {
    for (int attempt = 0; attempt < 20; ++attempt) {
      RunAttempt(item);
      Tree::Access access(tree);
      if (item.GetPropInt(key::kStatus) != kStatusWaitingToRetry) {
        return;
      }
    }
  }

  // The item goes on from `parts` even parts of the file, none of it on disk
  // yet, as after a stop: every part starts at once.
  void StartFromParts(Item& item, int parts) {
    Tree::Access access(tree);
    const std::string unfinished = UnfinishedFileOf(item);
    std::ofstream{unfinished}.close();
    std::filesystem::resize_file(unfinished, kFileSize);
    item.SetProp(key::kSegments, SegmentMap::Even(kFileSize, parts).Format());
    item.SetPropInt(key::kResume, 1);
  }

  // The ranges asked for in nginx's log, one per request for a file (not
  // the server's own check that it is up).
  static std::vector<std::string> RangesAsked(const std::string& logPath) {
    std::vector<std::string> ranges;
    std::ifstream log(logPath);
    for (std::string line; std::getline(log, line);) {
      if (line.find(" /.pellmarsh-ready ") == std::string::npos) {
        ranges.push_back(line.substr(line.find("range=") + 6));
      }
    }
    return ranges;
  }

  std::string RangeLog() const { return dir.File("ranges.log"); }
  testing::NginxServer::Options LoggingRanges() const {
    testing::NginxServer::Options options;
    options.rangeLogPath = RangeLog();
    return options;
  }

  const std::string content = testing::RandomBytes(kFileSize, 33);
  ServerConnections servers;
  std::atomic<int>* saveRequested = nullptr;  // the window's save, when a test plays it
  Clock* transferClock = &clock;
};

TEST_F(SegmentedTransferTest, ALargeFileComesOverSeveralConnectionsByteIdentical) {
  testing::NginxServer::Options options = LoggingRanges();
  options.redirects = {{"/get", 302, "/big.bin"}};
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/big.bin", content);
  // Every part asks the item's own URL and follows its redirect.
  for (const char* path : {"/big.bin", "/get"}) {
    ::unlink(dir.File("big.bin").c_str());
    const size_t asked = RangesAsked(RangeLog()).size();
    Item& item = NewItem(nginx.Url(path), dir.File(path + 1));
    item.SetProp(key::kName, path + 1);

    RunAttempt(item);

    Tree::Access access(tree);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
    EXPECT_EQ(item.GetProp(key::kValue), nginx.Url(path));
    EXPECT_TRUE(OnDisk(dir.File("big.bin")) == content) << path;
    EXPECT_EQ(item.GetPropInt64(key::kReceived), static_cast<int64_t>(kFileSize)) << path;
    EXPECT_EQ(item.GetProp(key::kSegments), "") << path;
    EXPECT_TRUE(Logged(item, "[2] ")) << item.GetProp(key::kLog);
    std::set<std::string> ranges;
    const std::vector<std::string> all = RangesAsked(RangeLog());
    for (auto range = all.begin() + static_cast<ptrdiff_t>(asked); range != all.end(); ++range) {
      if (range->starts_with("bytes=")) {
        ranges.insert(*range);
      }
    }
    EXPECT_GE(ranges.size(), 2U) << path;
  }
}

// In real time: a connection adds to the rate only where the server caps
// each, and a part given back goes on once the other ends.
TEST_F(SegmentedTransferTest, PartsAreAddedOnlyWhereEachRaisesTheRate) {
  testing::NginxServer::Options options = LoggingRanges();
  options.extraConfig = "    location /capped/ {\n      limit_rate 1m;\n    }\n";
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/capped/big.bin", content);
  nginx.AddFile("/big.bin", content);
  SystemClock realTime;
  transferClock = &realTime;
  const struct {
    const char* path;
    bool threeParts;
    size_t ranges;  // at most
  } rows[] = {{"/capped/big.bin", true, 8}, {"/big.bin", false, 1}};
  for (const auto& row : rows) {
    const size_t before = RangesAsked(RangeLog()).size();
    const std::string local = dir.File(std::string("file") + std::to_string(row.ranges));
    Item& item = NewItem(nginx.Url(row.path), local);
    RunAttempt(item);

    Tree::Access access(tree);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
    EXPECT_TRUE(OnDisk(local) == content);
    EXPECT_EQ(Logged(item, "[3] Start:"), row.threeParts) << row.path << item.GetProp(key::kLog);
    EXPECT_LE(RangesAsked(RangeLog()).size() - before, row.ranges) << row.path;
  }
}

TEST_F(SegmentedTransferTest, APartSplitOffIsKeptApartFromItsOriginUntilASaveHasRecordedIt) {
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/big.bin", content);
  const std::string local = dir.File("big.bin");
  Item& item = NewItem(nginx.Url("/big.bin"), local);
  RunAttempt(item, [&] {
    Tree::Access access(tree);
    if (!item.GetProp(key::kSegments).empty()) {
      item.SetPropInt(key::kStatus, kStatusStopRequested);
    }
  });
  {
    Tree::Access access(tree);
    if (item.GetPropInt(key::kSegmentHoles) == 0) {
      GTEST_SKIP() << "the parts' file keeps no holes here, so no part waits";
    }
    // A short part first, whose end splits the long one.
    item.SetProp(key::kSegments, std::to_string(kFileSize) + " 0-100000:0 100000-" +
                                     std::to_string(kFileSize) + ":100000");
  }
  // The window's save is kept waiting a while after the split. Meanwhile
  // the part it came from stops short of a part split off that wrote: a
  // crash could otherwise leave no hole to tell where its bytes end.
  int writtenPastAGap = 0;
  const int heldSteps = RunHoldingTheSave(
      item, [](const SegmentMap& map) { return map.segments.size() > 2; },
      [&](const SegmentMap& map) {
        for (size_t index = 2; index < map.segments.size(); ++index) {
          const Segment& split = map.segments[index];
          for (const Segment& from : map.segments) {
            writtenPastAGap += split.next > split.start && from.end == split.start &&
                               from.next > split.start - SegmentedTransfer::kSplitGuard;
          }
        }
      });

  Tree::Access access(tree);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
  EXPECT_TRUE(OnDisk(local) == content);
  EXPECT_GT(heldSteps, 0);
  EXPECT_EQ(writtenPastAGap, 0) << item.GetProp(key::kLog);
}

TEST_F(SegmentedTransferTest, OtherDownloadsToTheServerLeaveItOnlyWhatThePerServerLimitAllows) {
  testing::NginxServer nginx(LoggingRanges());
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/big.bin", content);
  const std::string local = dir.File("big.bin");
  Item& item = NewItem(nginx.Url("/big.bin"), local);
  servers.Change("127.0.0.1", 3);  // of 4

  int most = 0;
  RunAttempt(item, [&] {
    Tree::Access access(tree);
    most = std::max(most, servers.Count("127.0.0.1"));
  });

  Tree::Access access(tree);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
  EXPECT_TRUE(OnDisk(local) == content);
  EXPECT_EQ(most, 4);
  EXPECT_EQ(servers.Count("127.0.0.1"), 3);
  EXPECT_EQ(RangesAsked(RangeLog()).size(), 1U);
}

// Stopped or paused, the parts' map stays, and each part goes on from it.
TEST_F(SegmentedTransferTest, AStoppedOrPausedDownloadResumesEveryPartWhereItsBytesEnd) {
  testing::NginxServer nginx(LoggingRanges());
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/big.bin", content);
  const struct {
    ItemStatus request;
    ItemStatus after;
  } rows[] = {{kStatusStopRequested, kStatusOnHold}, {kStatusPauseRequested, kStatusPaused}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.request);
    const std::string local = dir.File("big-" + std::to_string(row.request) + ".bin");
    Item& item = NewItem(nginx.Url("/big.bin"), local);
    std::string kept;
    RunAttempt(item, [&] {
      Tree::Access access(tree);
      const std::optional<SegmentMap> map = SegmentMap::Parse(item.GetProp(key::kSegments));
      if (kept.empty() && map && map->received() > 1'000'000) {
        kept = map->Format();
        item.SetPropInt(key::kStatus, row.request);
      }
    });
    {
      Tree::Access access(tree);
      ASSERT_EQ(item.GetPropInt(key::kStatus), row.after) << item.GetProp(key::kLog);
      EXPECT_FALSE(item.GetProp(key::kSegments).empty());
    }
    std::filesystem::remove(RangeLog());
    RunAttempt(item);

    Tree::Access access(tree);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
    EXPECT_TRUE(OnDisk(local) == content);
    // No part asks again for bytes it had on disk when stopped.
    const std::optional<SegmentMap> stopped = SegmentMap::Parse(kept);
    ASSERT_TRUE(stopped);
    for (const std::string& range : RangesAsked(RangeLog())) {
      ASSERT_TRUE(range.starts_with("bytes=")) << range;
      const int64_t start = std::stoll(range.substr(6));
      for (const Segment& part : stopped->segments) {
        EXPECT_FALSE(start >= part.start && start < part.next) << range << " in " << kept;
      }
    }
  }
}

TEST_F(SegmentedTransferTest, ASmallOrEmptyFileAndAServerIgnoringRangesTakeOneRequestEach) {
  testing::NginxServer::Options options = LoggingRanges();
  // It says it serves ranges, then answers every range with the whole file.
  options.extraConfig =
      "    location /whole/ {\n      max_ranges 0;\n      add_header Accept-Ranges bytes;\n    }\n";
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/small.bin", content.substr(0, 100'000));
  nginx.AddFile("/whole/big.bin", content);

  nginx.AddFile("/empty.bin", "");
  Item& small = NewItem(nginx.Url("/small.bin"), dir.File("small.bin"));
  RunAttempt(small);
  Item& whole = NewItem(nginx.Url("/whole/big.bin"), dir.File("whole.bin"));
  RunAttempt(whole);
  // Asked for from its first byte, a file of none is still whole.
  Item& empty = NewItem(nginx.Url("/empty.bin"), dir.File("empty.bin"));
  RunAttempt(empty);

  Tree::Access access(tree);
  EXPECT_EQ(small.GetPropInt(key::kStatus), kStatusComplete) << small.GetProp(key::kLog);
  EXPECT_TRUE(OnDisk(dir.File("small.bin")) == content.substr(0, 100'000));
  EXPECT_EQ(whole.GetPropInt(key::kStatus), kStatusComplete) << whole.GetProp(key::kLog);
  EXPECT_TRUE(OnDisk(dir.File("whole.bin")) == content);
  EXPECT_FALSE(Logged(whole, "[2] ")) << whole.GetProp(key::kLog);
  EXPECT_EQ(empty.GetPropInt(key::kStatus), kStatusComplete) << empty.GetProp(key::kLog);
  EXPECT_EQ(OnDisk(dir.File("empty.bin")), "");
  EXPECT_EQ(RangesAsked(RangeLog()),
            (std::vector<std::string>{"bytes=0-", "bytes=0-", "bytes=0-"}));
}

TEST_F(SegmentedTransferTest, AFileChangedBetweenPartsStartsOverOnOneConnection) {
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/big.bin", content);
  const std::string local = dir.File("big.bin");
  Item& item = NewItem(nginx.Url("/big.bin"), local);
  const std::string changed = testing::RandomBytes(kFileSize, 34);

  bool replaced = false;
  RunAttempt(item, [&] {
    Tree::Access access(tree);
    if (!replaced && !item.GetProp(key::kSegments).empty()) {
      replaced = true;
      nginx.AddFile("/big.bin", changed);
      // A later time, so the validator differs whatever the clock's grain.
      const std::string served = nginx.root() + "/big.bin";
      struct timeval later[2] = {{2'000'000'000, 0}, {2'000'000'000, 0}};
      ::utimes(served.c_str(), later);
    }
  });

  Tree::Access access(tree);
  EXPECT_TRUE(replaced);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
  EXPECT_TRUE(Logged(item, "The file changed on the server: starting over on one connection."))
      << item.GetProp(key::kLog);
  EXPECT_TRUE(OnDisk(local) == changed);
}

TEST_F(SegmentedTransferTest, AServerAllowingOneConnectionIsRememberedAndFinishesOnIt) {
  testing::NginxServer::Options options;
  options.httpConfig = "  limit_conn_zone $binary_remote_addr zone=perclient:1m;\n";
  options.extraConfig =
      "    location /one/ {\n      limit_conn perclient 1;\n      limit_rate 16m;\n    }\n";
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/one/big.bin", content);
  const std::string local = dir.File("big.bin");
  Item& item = NewItem(nginx.Url("/one/big.bin"), local);

  RunAttempt(item);

  Tree::Access access(tree);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
  EXPECT_TRUE(OnDisk(local) == content);
  EXPECT_TRUE(Logged(item, "The server refused another connection: going on with 1."))
      << item.GetProp(key::kLog);
  EXPECT_FALSE(SegmentedTransfer::Suits(item, access.root()));
}

TEST_F(SegmentedTransferTest, TheFirstAnswerGoesOnAsTheFirstPartWithoutWaitingForASave) {
  testing::NginxServer nginx(LoggingRanges());
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/big.bin", content);
  const std::string local = dir.File("big.bin");
  Item& item = NewItem(nginx.Url("/big.bin"), local);
  // The window's save is kept waiting a while once the map is made.
  int64_t writtenMeanwhile = 0;
  const int heldSteps = RunHoldingTheSave(
      item, [](const SegmentMap&) { return true; },
      [&](const SegmentMap& map) {
        writtenMeanwhile = std::max(writtenMeanwhile, map.received());
      });

  Tree::Access access(tree);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
  EXPECT_TRUE(OnDisk(local) == content);
  EXPECT_EQ(heldSteps, 200);
  EXPECT_GT(writtenMeanwhile, 0);
  // The first request's answer goes on as the first part: no request is
  // asked again from the start, and none for the whole file.
  const std::vector<std::string> ranges = RangesAsked(RangeLog());
  EXPECT_EQ(std::count_if(ranges.begin(), ranges.end(),
                          [](const std::string& range) { return range.starts_with("bytes=0-"); }),
            1);
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "-"), 0);
}

TEST_F(SegmentedTransferTest, APartThatMisbehavesNeverLeavesAWrongFileCalledComplete) {
  using testing::RangeServer;
  using Request = RangeServer::Request;
  const std::string shrunk = content.substr(0, 1'000'000);
  const std::string busy = "HTTP/1.0 503 Service Unavailable\r\nRetry-After: 3\r\n\r\n";
  const struct {
    const char* what;
    // The answer to a part's request (the first request's is always right),
    // and how many times a range to its end was asked, this one included.
    std::function<RangeServer::Reply(const Request&, int)> answer;
    std::string file, logged;
  } cases[] = {
      {"a chunked part runs past its range",
       [&](const Request& request, int) {
         return RangeServer::ChunkedAnswer(content, request, 5000);
       },
       content, "Recv Line: Transfer-Encoding: chunked"},
      {"a part ends short of its range",
       [&](const Request& request, int asked) {
         return RangeServer::Answer(content, request,
                                    asked == 1 ? std::optional<size_t>(1000) : std::nullopt);
       },
       content, "short of the supposed total"},
      {"the file shrinks below the parts",
       [&](const Request& request, int) {
         return request.first && *request.first >= static_cast<int64_t>(shrunk.size())
                    ? "HTTP/1.0 416 Range Not Satisfiable\r\nContent-Range: bytes */1000000\r\n\r\n"
                    : RangeServer::Answer(shrunk, request);
       },
       shrunk, "The file changed on the server: starting over on one connection."},
      {"a part is answered with the whole file",
       [&](const Request& request, int) {
         return RangeServer::Answer(content, Request{request.number, "", {}, {}});
       },
       content, "The server does not serve parts: going on over one connection."},
      {"a busy server asks a part to wait",
       [&](const Request& request, int asked) {
         return asked == 1 ? busy : RangeServer::Answer(content, request);
       },
       content, "Retrying this part in 3 seconds."},
  };
  int index = 0;
  for (const auto& row : cases) {
    std::map<int64_t, int> asked;  // by range end, which a part keeps as it goes on
    RangeServer server([&](const Request& request) -> RangeServer::Reply {
      const int times = ++asked[request.last.value_or(-1)];
      return request.number == 0 ? RangeServer::Answer(content, request)
                                 : row.answer(request, times);
    });
    const std::string local = dir.File("file-" + std::to_string(++index));
    Item& item = NewItem(server.Url("/big.bin"), local);
    {
      Tree::Access access(tree);
      item.SetPropInt(key::kRudeRetries, 1);
      access.root().SetPropInt(setting::kRetryShort, 0);
      access.root().SetPropInt(setting::kDelLog, 0);  // every attempt's lines stay
    }
    RunAttempts(item);

    Tree::Access access(tree);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << row.what << "\n"
                                                              << item.GetProp(key::kLog);
    EXPECT_EQ(OnDisk(local).size(), row.file.size()) << row.what;
    EXPECT_TRUE(OnDisk(local) == row.file) << row.what;
    EXPECT_TRUE(Logged(item, row.logged)) << row.what << "\n" << item.GetProp(key::kLog);
  }
}

TEST_F(SegmentedTransferTest, PartsCutOverAndOverKeepTheLogWithinItsBound) {
  using testing::RangeServer;
  // The first part runs on, silent a byte short of its end; every other
  // part's answer carries a long header and breaks off after 2000 bytes.
  std::string padding;
  for (int line = 0; line < 50; ++line) {
    padding += "X-Padding: " + std::string(1000, 'p') + "\r\n";
  }
  const int64_t firstEnd = SegmentMap::Even(kFileSize, 4).segments[0].end;
  RangeServer server([&](const RangeServer::Request& request) -> RangeServer::Reply {
    if (request.number == 0) {
      return {RangeServer::Answer(content, request, firstEnd - 1), true};
    }
    std::string answer = RangeServer::Answer(content, request, 2000);
    return answer.insert(answer.find("\r\n") + 2, padding);
  });
  const std::string local = dir.File("big.bin");
  Item& item = NewItem(server.Url("/big.bin"), local);
  item.SetPropInt(key::kRudeRetries, 1);
  StartFromParts(item, 4);
  // Parts retry a second after they broke off, in real time.
  SystemClock realTime;
  transferClock = &realTime;

  int requestsAtCut = 0;
  RunAttempt(item, [&] {
    Tree::Access access(tree);
    if (!requestsAtCut && Logged(item, "Log too long")) {
      requestsAtCut = server.requests();
    }
    if (item.GetPropInt(key::kStatus) == kStatusTransferring &&
        ((requestsAtCut && server.requests() > requestsAtCut + 6) ||
         item.GetProp(key::kLog).size() > 3 * LogBudget::kLimitBytes)) {
      item.SetPropInt(key::kStatus, kStatusStopRequested);
    }
  });

  Tree::Access access(tree);
  EXPECT_GT(requestsAtCut, 0);
  EXPECT_LE(item.GetProp(key::kLog).size(), LogBudget::kLimitBytes + 1024);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusOnHold) << item.GetProp(key::kError);
}

TEST_F(SegmentedTransferTest, ACutPartIsRetriedAloneAndTheFileEndsWhole) {
  // Capped, in real time, so that parts are added before the first cut.
  testing::NginxServer::Options options;
  options.extraConfig = "    location /capped/ {\n      limit_rate 2m;\n    }\n";
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/capped/big.bin", content);
  SystemClock realTime;
  transferClock = &realTime;
  // The first connection and then another are cut.
  testing::CuttingProxy proxy(nginx.port(), 2'000'000, testing::CuttingProxy::Cut::kReset, 2);
  const std::string local = dir.File("big.bin");
  Item& item =
      NewItem("http://127.0.0.1:" + std::to_string(proxy.port()) + "/capped/big.bin", local);
  item.SetPropInt(key::kRudeRetries, 1);  // retries after a second
  {
    Tree::Access access(tree);
    access.root().SetPropInt(setting::kDelLog, 0);  // every attempt's lines stay
  }

  // When every unfinished part waits for its retry, the download as a whole
  // waits: the next attempt goes on from the map.
  RunAttempts(item);

  Tree::Access access(tree);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
  EXPECT_TRUE(OnDisk(local) == content);
  EXPECT_TRUE(Logged(item, "Retrying this part in")) << item.GetProp(key::kLog);
}

}  // namespace
}  // namespace pellmarsh
