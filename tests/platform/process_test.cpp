#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <fstream>

#include "support/temp_dir.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

using namespace std::chrono_literals;

// A zombie has ended too: whether it is reaped is up to whoever adopted it.
bool Alive(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string number, name, state;
  return stat >> number >> name >> state && state != "Z";
}

TEST(RunProgram, AStopEndsWhatTheProgramStartedToo) {
  testing::TempDir dir;
  const std::string pidFile = dir.File("child.pid");
  // A wrapper script whose own child would outlive it if only the wrapper
  // were signalled.
  const std::vector<std::string> argv = {"/bin/sh", "-c",
                                         "sleep 300 & echo $! > " + pidFile + "; wait"};
  std::atomic<bool> stop{false};
  std::thread stopper([&] {
    testing::WaitFor([&] { return std::ifstream(pidFile).peek() != EOF; }, 10s);
    stop = true;
  });
  const ProcessExit exit = RunProgram(argv, [&] { return stop.load(); });
  stopper.join();
  EXPECT_TRUE(exit.started);
  EXPECT_TRUE(exit.stopped);
  pid_t child = 0;
  std::ifstream(pidFile) >> child;
  ASSERT_GT(child, 0);
  EXPECT_TRUE(testing::WaitFor([&] { return !Alive(child); }, 10s))
      << "the script's child lives on";
}

TEST(RunProgram, AProgramRunToItsEndGivesItsExitCode) {
  const ProcessExit exit = RunProgram({"/bin/sh", "-c", "exit 3"}, [] { return false; });
  EXPECT_TRUE(exit.started);
  EXPECT_FALSE(exit.stopped);
  EXPECT_EQ(exit.exitCode, 3);
}

}  // namespace
}  // namespace pellmarsh
