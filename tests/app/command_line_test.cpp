#include "app/command_line.h"

#include <gtest/gtest.h>

#include "url/url_globbing.h"

namespace pellmarsh {
namespace {

TEST(CommandLine, ARefusedUrlIsToldWhileTheOthersStillGoIn) {
  const CommandLine line = ParseCommandLine({"http://host/a.iso", "mailto:me@host",
                                             "ftp.host/b.zip", "gopher://host/x", "file:///tmp/c"});
  EXPECT_EQ(line.links,
            (std::vector<std::string>{"http://host/a.iso", "ftp.host/b.zip", "file:///tmp/c"}));
  EXPECT_EQ(line.problems,
            (std::vector<std::string>{"mailto:me@host: Not a URL",
                                      "gopher://host/x: Unsupported protocol: gopher"}));
  EXPECT_FALSE(line.help || line.version);
}

// A line break or another control byte ends a URL, as in a copied text, so
// none reaches a request or a line of the terminal.
TEST(CommandLine, APortNoSocketHoldsIsRefusedAndAControlCharacterEndsAUrl) {
  struct Row {
    std::string argument;
    std::vector<std::string> links;
    std::vector<std::string> problems;
  } rows[] = {
      {"http://127.0.0.1:102359/f", {}, {"http://127.0.0.1:102359/f: Malformed URL"}},
      {"https://victim.example\r\nX-Injected: 1\r\n\r\nDELETE http/x/",
       {"https://victim.example"},
       {}},
      {"http://h/\x1b[2J", {"http://h/"}, {}},
      {"--\x1b[2J", {}, {"--\\x1b[2J: Unknown option"}},
      {"\r\n", {}, {"\\r\\n: Not a URL"}},
  };
  for (const Row& row : rows) {
    const CommandLine line = ParseCommandLine({row.argument});
    EXPECT_EQ(line.links, row.links) << row.argument;
    EXPECT_EQ(line.problems, row.problems) << row.argument;
  }
}

// Each address of ranges and sets is checked as if given alone; no question is asked.
TEST(CommandLine, RangesAndSetsGiveOneUrlEach) {
  const CommandLine line =
      ParseCommandLine({"http://host/{a,b}[1-2]", "http://host/[1-", "http://[::1]:8080/f",
                        "{http,gopher}://host/x", "http://host/[1-200]", "http://host/[1-10001]"});
  EXPECT_EQ(line.links.size(), 4u + 1u + 1u + 200u);
  EXPECT_EQ(std::vector<std::string>(line.links.begin(), line.links.begin() + 6),
            (std::vector<std::string>{"http://host/a1", "http://host/a2", "http://host/b1",
                                      "http://host/b2", "http://[::1]:8080/f", "http://host/x"}));
  EXPECT_EQ(line.problems,
            (std::vector<std::string>{"http://host/[1-: Unmatched [ at position 13",
                                      "gopher://host/x: Unsupported protocol: gopher",
                                      "http://host/[1-10001]: " + std::string(kTooManyGlobUrls)}));
}

TEST(CommandLine, OptionsAreKnownOrRefusedUntilDoubleDash) {
  struct Row {
    std::vector<std::string> arguments;
    bool help;
    bool version;
    std::vector<std::string> problems;
    size_t links;
  };
  const Row rows[] = {
      {{"--help"}, true, false, {}, 0},
      {{"-h", "--version"}, true, true, {}, 0},
      {{"--verbose", "http://h/f"}, false, false, {"--verbose: Unknown option"}, 1},
      {{"--", "--help"}, false, false, {"--help: Not a URL"}, 0},
      {{}, false, false, {}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments.empty() ? "no arguments" : row.arguments.front());
    const CommandLine line = ParseCommandLine(row.arguments);
    EXPECT_EQ(line.help, row.help);
    EXPECT_EQ(line.version, row.version);
    EXPECT_EQ(line.problems, row.problems);
    EXPECT_EQ(line.links.size(), row.links);
  }
}

// The one version CMake sets, with its letter.
TEST(CommandLine, TheVersionIsTheProgramsOwn) {
  EXPECT_EQ(VersionText(), "Pellmarsh 1.2d\n");
}

TEST(CommandLine, TheBrowsersArgumentsAfterTheHostOptionAreNotOurs) {
  const CommandLine line = ParseCommandLine(
      {"--native-messaging", "/usr/lib/mozilla/native-messaging-hosts/x.json", "pellmarsh@x"});
  EXPECT_TRUE(line.nativeMessaging);
  EXPECT_TRUE(line.problems.empty());
  EXPECT_TRUE(line.links.empty());
}

}  // namespace
}  // namespace pellmarsh
