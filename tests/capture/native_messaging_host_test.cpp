#include "capture/native_messaging_host.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include <gtest/gtest.h>

#include "platform/unique_fd.h"

namespace pellmarsh {
namespace {

std::string Frame(uint32_t length, const std::string& body) {
  std::string frame(sizeof length, '\0');
  std::memcpy(frame.data(), &length, sizeof length);
  return frame + body;
}

std::string Frame(const std::string& body) {
  return Frame(static_cast<uint32_t>(body.size()), body);
}

// Runs the host over `input` and gives what it answered, its return value and
// every list of links it handed on.
struct HostRun {
  int status = -1;
  std::vector<std::string> answers;
  std::vector<std::vector<std::string>> handedOn;
};

HostRun RunHost(const std::string& input, std::vector<std::string> reasons = {}) {
  UniqueFd in(memfd_create("input", 0));
  UniqueFd out(memfd_create("output", 0));
  EXPECT_EQ(write(in.get(), input.data(), input.size()), static_cast<ssize_t>(input.size()));
  lseek(in.get(), 0, SEEK_SET);
  HostRun run;
  run.status = RunNativeMessagingHost(in.get(), out.get(), [&](const auto&, const auto& message) {
    std::vector<std::string>& urls = run.handedOn.emplace_back();
    for (const HandedDownload& download : message.downloads) {
      urls.push_back(download.url);
    }
    return reasons;
  });
  std::string output(static_cast<size_t>(lseek(out.get(), 0, SEEK_END)), '\0');
  EXPECT_EQ(pread(out.get(), output.data(), output.size(), 0), static_cast<ssize_t>(output.size()));
  for (size_t pos = 0; pos + 4 <= output.size();) {
    uint32_t length = 0;
    std::memcpy(&length, output.data() + pos, 4);
    run.answers.push_back(output.substr(pos + 4, length));
    pos += 4 + length;
  }
  return run;
}

const std::string kGood = R"({"urls":["http://h/a","ftp://h/b"]})";

TEST(NativeMessagingHostTest, AnswersEachFrameAndEndsCleanlyBetweenFrames) {
  const HostRun run = RunHost(Frame(kGood) + Frame("nonsense") + Frame(kGood), {"", ""});
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.answers.size(), 3u);
  EXPECT_EQ(run.answers[0], R"({"ok":true,"added":2})");
  EXPECT_EQ(run.answers[1],
            R"({"ok":false,"error":"The message is not JSON of the form {\"urls\":[...]} or )"
            R"({\"downloads\":[...]}."})");
  EXPECT_EQ(run.handedOn.size(), 2u);
  EXPECT_EQ(run.handedOn[0], (std::vector<std::string>{"http://h/a", "ftp://h/b"}));
}

TEST(NativeMessagingHostTest, AnswersTheLinksTheProgramRefused) {
  const HostRun run = RunHost(Frame(kGood), {"", "Pellmarsh could not be started."});
  ASSERT_EQ(run.answers.size(), 1u);
  EXPECT_EQ(run.answers[0], R"({"ok":false,"error":"Pellmarsh could not be started.","added":1})");
  // A hand-off that says nothing took nothing.
  EXPECT_EQ(RunHost(Frame(kGood)).answers[0],
            R"({"ok":false,"error":"The link was not taken.","added":0})");
}

TEST(NativeMessagingHostTest, BrokenFramesAreAnsweredAndHandNothingOn) {
  struct Case {
    const char* name;
    std::string input;
    int status;
    size_t answers;
  };
  const std::string tooLong = Frame(kMaxNativeFrame + 1, std::string(kMaxNativeFrame + 1, ' '));
  const std::vector<Case> cases = {
      {"too long, then a frame", tooLong + Frame("{}"), 0, 2},
      {"too long and cut short", Frame(0xffffffffu, kGood), 1, 1},
      {"length past the end", Frame(100, kGood), 1, 1},
      {"cut inside the length", std::string("\x10\x00", 2), 1, 1},
      {"empty frame", Frame(""), 0, 1},
  };
  for (const Case& c : cases) {
    const HostRun run = RunHost(c.input, {"", ""});
    EXPECT_EQ(run.status, c.status) << c.name;
    ASSERT_EQ(run.answers.size(), c.answers) << c.name;
    for (const std::string& answer : run.answers) {
      EXPECT_TRUE(answer.starts_with(R"({"ok":false,"error":")")) << c.name << ": " << answer;
    }
    EXPECT_TRUE(run.handedOn.empty()) << c.name;
  }
}

}  // namespace
}  // namespace pellmarsh
