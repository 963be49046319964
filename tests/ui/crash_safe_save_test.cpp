// The real program killed at random moments while it saves a large tree must
// always leave a data file that loads whole: the old tree or the new one.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/socket.h"
#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

using namespace std::chrono_literals;

// A loopback port that nothing listens on: connects to it fail at once.
int ClosedPort() {
  TcpSocket probe;
  probe.Create();
  probe.Bind({0x7F000001, 0});
  SocketAddress bound;
  probe.LocalAddress(bound);
  return bound.port;
}

// A large tree whose queue keeps the program saving: every item fails to
// connect at once and retries after a second, and each start and end of a
// transfer asks for a save.
std::string BusyTree(const std::string& dir) {
  Item root;
  MarkFirstStart(root, 1765000000);
  root.SetPropInt(setting::kMaxCons, 20);
  Item& list = root.FindOrCreateChild("_filelist");
  const std::string log(2048, 'l');
  const std::string url = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x";
  for (int index = 0; index < 10'000; ++index) {
    Item& item = list.AddChild(std::make_unique<Item>());
    item.SetProp(key::kType, "_url");
    item.SetProp(key::kValue, url);
    item.SetProp(key::kLocal, dir + "/out" + std::to_string(index));
    item.SetProp(key::kLog, log);
    item.SetPropInt(key::kRudeRetries, 1);
    item.SetPropInt(key::kStatus, index < 20 ? kStatusQueued : kStatusComplete);
  }
  return SaveTree(root);
}

TEST(CrashSafeSave, AKillDuringAnySaveLeavesACompleteDataFile) {
  testing::TempDir dir;
  std::filesystem::copy_file(PELLMARSH_PROGRAM, dir.File("pellmarsh"));
  testing::WriteFile(dir.File("pmarsh.dat"), BusyTree(dir.path()));
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::mt19937 random(2026);
  int killedWhileWriting = 0;
  for (int round = 0; round < 50; ++round) {
    std::filesystem::remove(dir.File("pmarsh.dat.new"));  // left by the last kill
    testing::ChildProcess program;
    ASSERT_TRUE(program.Start({dir.File("pellmarsh")}, dir.File("output.txt"))) << program.error();
    // Aim at the moments a save is under way: its temporary file exists.
    const bool writing = testing::WaitFor(
        [&] { return std::filesystem::exists(dir.File("pmarsh.dat.new")); }, 5s, 1ms);
    killedWhileWriting += writing;
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 60)(random)));
    program.Stop(SIGKILL);

    Item loaded;
    const TreeLoadResult result = LoadTree(loaded, testing::ReadFile(dir.File("pmarsh.dat")));
    ASSERT_TRUE(result.complete) << "round " << round << ": " << result.problem;
    ASSERT_EQ(loaded.FindByName("_filelist")->ChildCount(), 10'000) << "round " << round;
  }
  EXPECT_GE(killedWhileWriting, 40);
}

}  // namespace
}  // namespace pellmarsh
