#include "transfer/ftp/ftp_reply.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/socket.h"

namespace pellmarsh {
namespace {

using Lines = std::vector<std::string>;

Lines TakeAll(std::string& buffer) {
  Lines lines;
  while (std::optional<std::string> line = TakeReplyLine(buffer)) {
    lines.push_back(*line);
  }
  return lines;
}

TEST(FtpReplyTest, LinesComeOutWholeWhereverTheReceivesSplitThem) {
  const std::string bytes = "220-Hello\r\n220 ready\r\n331 bare LF\n\r\n250 rest";
  for (size_t split = 0; split <= bytes.size(); ++split) {
    std::string buffer = bytes.substr(0, split);
    Lines lines = TakeAll(buffer);
    buffer += bytes.substr(split);
    const Lines more = TakeAll(buffer);
    lines.insert(lines.end(), more.begin(), more.end());
    EXPECT_EQ(lines, (Lines{"220-Hello", "220 ready", "331 bare LF", ""})) << "split at " << split;
    EXPECT_EQ(buffer, "250 rest") << "split at " << split;
  }
}

TEST(FtpReplyTest, OnlyThreeDigitsAndABlankMakeAReply) {
  const struct {
    const char* line;
    char replyClass;
  } rows[] = {
      {"220 ready", '2'},
      {"550 No such file.", '5'},
      {"220-first of several", 0},
      {"   250 padded text", 0},
      {"22 short", 0},
      {"2x0 letters", 0},
      {"220", 0},
      {"220\tTab", 0},
      {"", 0},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ReplyClass(row.line), row.replyClass) << '"' << row.line << '"';
  }
}

TEST(FtpReplyTest, TheLastCountingGroupOfAPreliminaryReplyGivesTheSize) {
  const struct {
    const char* line;
    std::optional<int64_t> size;
  } rows[] = {
      {"150 Opening BINARY mode data connection for a.zip (12345 bytes).", 12345},
      {"150 Opening (192.168.0.1,4,1) (2048 bytes)", 2048},
      {"150 Opening for huge.iso (6000000000 bytes)", 6000000000},
      {"150 Opening (bytes follow)", std::nullopt},
      {"125 Data connection already open. Transfer starting.", std::nullopt},
      {"150 a group without digits (soon)", 0},
      {"150 an unclosed group (2048 bytes", 0},
      {"150 a negative count (-5 bytes)", 0},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(AnnouncedSize(row.line), row.size) << row.line;
  }
}

TEST(FtpReplyTest, DirectoriesAndWildcardsAreListedAndAnythingElseRetrieved) {
  const struct {
    const char* fullpath;
    const char* verb;
    const char* argument;
  } rows[] = {
      {"/pub/a.zip", "RETR ", "/pub/a.zip"},
      {"/pub/", "NLST ", "/pub"},
      {"/pub/*.txt", "NLST ", "/pub/*.txt"},
      {"/pub/a?.txt", "NLST ", "/pub/a?.txt"},
      {"/", "NLST ", ""},
      {"", "NLST ", "."},
      {"/p*b/a.zip", "RETR ", "/p*b/a.zip"},
  };
  for (const auto& row : rows) {
    const FileRequest request = RequestForPath(row.fullpath);
    EXPECT_EQ(request.verb + request.argument, std::string(row.verb) + row.argument)
        << row.fullpath;
    EXPECT_EQ(request.listing, std::string(row.verb) == "NLST ") << row.fullpath;
  }
}

Lines RewritesOf(std::string path) {
  Lines tried;
  while (std::optional<std::string> next = RewriteRefusedPath(path)) {
    tried.push_back(path = *next);
  }
  return tried;
}

TEST(FtpReplyTest, ARefusedPathIsTriedInEveryFormBeforeGivingUp) {
  const struct {
    const char* what;
    const char* path;
    Lines rewrites;
  } rows[] = {
      {"a plain path loses its slash, then is listed", "/dir/name", {"dir/name", "dir/name/*"}},
      {"escapes are decoded, with and without the slash",
       "/a%20b.zip",
       {"a%20b.zip", "/a b.zip", "a b.zip", "a b.zip/*"}},
      {"an escape decoding to % is decoded again", "%2541%2f", {"/A/", "A/", "A//*"}},
      {"letters of either case are hexadecimal", "%4a%4B", {"/JK", "JK", "JK/*"}},
      {"a % without two hexadecimal digits stays", "x%zz%4", {}},
      {"line breaks are never decoded", "a%0d%0aDELE%20b", {"/a%0d%0aDELE b", "a%0d%0aDELE b"}},
      {"a wildcard already there ends it", "/pub/*.txt", {"pub/*.txt"}},
      {"the empty path is listed from the top", "", {"/*", "*"}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(RewritesOf(row.path), row.rewrites) << row.what;
  }
}

TEST(FtpReplyTest, PassiveRepliesYieldTheirPortOrNothing) {
  const struct {
    const char* line;
    std::optional<uint16_t> port;
  } rows[] = {
      {"229 Entering Extended Passive Mode (|||6446|)", 6446},
      {"229 Extended (!!!65535!)", 65535},
      {"229 (|||1|) trailing words", 1},
      {"229 (|||65536|)", std::nullopt},
      {"229 (|||0|)", std::nullopt},
      {"229 (|||123456|)", std::nullopt},
      {"229 (|||6446)", std::nullopt},
      {"229 (||6446|)", std::nullopt},
      {"229 (|!|6446|)", std::nullopt},
      {"229 (111644611)", std::nullopt},
      {"229 (|||", std::nullopt},
      {"229 Entering Extended Passive Mode", std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ExtendedPassivePort(row.line), row.port) << row.line;
  }

  const struct {
    const char* line;
    std::optional<std::string> named;  // "address port"
  } pasvRows[] = {
      {"227 Entering Passive Mode (192,168,0,9,4,1)", "192.168.0.9 1025"},
      {"227 Entering Passive Mode 10,0,0,1,255,255", "10.0.0.1 65535"},
      {"227 =127,0,0,1,0,21", "127.0.0.1 21"},
      {"227 Mode 2 (1,2,3,4,5,6)", "1.2.3.4 1286"},
      {"227 (256,0,0,1,4,1)", std::nullopt},
      {"227 (1,2,3,4,0,0)", std::nullopt},
      {"227 (1,2,3,4,5)", std::nullopt},
      {"227 (0001,2,3,4,5,6)", std::nullopt},
      {"227 (1,2,3,4,5,6789)", std::nullopt},
      {"227 Entering Passive Mode", std::nullopt},
  };
  for (const auto& row : pasvRows) {
    const std::optional<PassiveReply> named = PassiveAddress(row.line);
    EXPECT_EQ(named ? std::optional<std::string>(DottedQuad(named->address) + " " +
                                                 std::to_string(named->port))
                    : std::nullopt,
              row.named)
        << row.line;
  }
}

TEST(IsSafeCommandArgument, NoByteThatCouldEndTheCommandGetsThrough) {
  for (const std::string& argument :
       {std::string("a\rb"), std::string("a\nb"), std::string("a\0b", 3)}) {
    EXPECT_FALSE(IsSafeCommandArgument(argument)) << argument.size();
  }
  EXPECT_TRUE(IsSafeCommandArgument("/pub/a b\t\x01.zip"));
}

}  // namespace
}  // namespace pellmarsh
