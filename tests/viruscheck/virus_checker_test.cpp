#include "viruscheck/virus_checker.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <thread>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "viruscheck/virus_check_rules.h"

namespace pellmarsh {
namespace {

using namespace std::chrono_literals;

class VirusCheckerTest : public ::testing::Test {
 protected:
  VirusCheckerTest() {
    Tree::Access tree(itemTree);
    tree->SetProp(setting::kVirusReturns, "1,2");
    tree->SetProp(setting::kVirusReturnsGood, "0");
    tree->SetProp(setting::kVirusReturnsFail, "9");
  }

  // A checker script that exits with `code` after running `body`.
  std::string Checker(const std::string& name, const std::string& body) {
    const std::string path = dir.File(name);
    testing::WriteFile(path, "#!/bin/sh\n" + body + "\n");
    ::chmod(path.c_str(), 0700);
    return path;
  }

  void SetUpChecker(const std::string& program, const std::string& command = "%1") {
    Tree::Access tree(itemTree);
    tree->SetProp(setting::kVirusProgram, program);
    tree->SetProp(setting::kVirusCommand, command);
  }

  Item& QueueFile(const std::string& name) {
    testing::WriteFile(dir.File(name), "payload");
    Tree::Access tree(itemTree);
    Item& item = tree->FindOrCreateChild("_filelist").AddChild(std::make_unique<Item>());
    item.SetProp(key::kLocal, dir.File(name));
    shared.queue(itemTree.lock()).push_back(&item);
    return item;
  }

  std::deque<Item*> Queue() {
    Tree::Access tree(itemTree);
    return shared.queue(itemTree.lock());
  }

  std::string Get(Item& item, PropKey key) {
    Tree::Access tree(itemTree);
    return item.GetProp(key);
  }

  testing::TempDir dir;
  Tree itemTree;
  VirusCheckShared shared;
  std::atomic<bool> listDirty{false};
  testing::RecordingMessages messages;
  testing::RecordingEvents events;
  testing::FakeClock clock;
  VirusChecker checker{itemTree, shared, listDirty, messages, events, clock};
};

TEST_F(VirusCheckerTest, ExitCodesGiveTheVerdictsAndAnInfectedFileGoesOrStays) {
  using enum InfectedFileAction;
  const struct {
    int exitCode;
    InfectedFileAction alert;
    VirusVerdict verdict;
    const char* logged;
    const char* event;
    bool fileStays;
  } rows[] = {
      {0, kDelete, kVirusClean, "Virus check returned: 0 (File CLEAN)", "CLEAN", true},
      {2, kDelete, kVirusInfected, "Virus check returned: 2 (File INFECTED)", "INFECTED", false},
      {2, kMarkOnly, kVirusInfected, "Virus check returned: 2 (File INFECTED)", "INFECTED", true},
      {9, kDelete, kVirusCheckError, "Virus check returned: 9 (Failed to check)", nullptr, true},
      {7, kDelete, kVirusUnknown,
       "Virus check returned: 7 (unknown value, please update Pellmarsh settings)", nullptr, true},
  };
  for (const auto& row : rows) {
    const std::string tag =
        std::to_string(row.exitCode) + "/" + std::to_string(static_cast<int>(row.alert));
    SetUpChecker(Checker("exit" + tag.substr(0, 1), "exit " + std::to_string(row.exitCode)));
    itemTree.Lock()->SetPropEnum(setting::kVirusAlert, row.alert);
    events.raised.clear();
    Item& item = QueueFile("file" + std::to_string(&row - rows));
    EXPECT_TRUE(checker.CheckHead()) << tag;
    EXPECT_EQ(Get(item, key::kVirusCheck), std::to_string(row.verdict)) << tag;
    EXPECT_EQ(Get(item, key::kVirusChecking), "0") << tag;
    EXPECT_NE(Get(item, key::kLog).find(row.logged), std::string::npos) << Get(item, key::kLog);
    EXPECT_EQ(events.raised,
              row.event ? std::vector<std::string>{row.event} : std::vector<std::string>{})
        << tag;
    EXPECT_EQ(testing::FileExistsOnDisk(Get(item, key::kLocal)), row.fileStays) << tag;
    EXPECT_TRUE(Queue().empty()) << tag;
  }
}

TEST_F(VirusCheckerTest, ThePathReachesTheCheckerAsOneExactArgument) {
  const std::string record = dir.File("argv");
  SetUpChecker(Checker("recorder",
                       "for a in \"$@\"; do printf '%s|' \"$a\"; done > '" + record + "'; exit 0"),
               "--quiet \"--log=a b\" %1");
  Item& item = QueueFile("-odd \"name\" $HOME;x.zip");
  EXPECT_TRUE(checker.CheckHead());
  EXPECT_EQ(testing::ReadFile(record), "--quiet|--log=a b|" + Get(item, key::kLocal) + "|");
  EXPECT_NE(Get(item, key::kLog)
                .find("Virus checking: " + dir.File("recorder") + " --quiet \"--log=a b\" \"" +
                      Get(item, key::kLocal) + "\""),
            std::string::npos);
}

TEST_F(VirusCheckerTest, ACheckerGivenByNameIsFoundOnThePathAndTheLogSaysWhichFileRan) {
  ::mkdir(dir.File("bin").c_str(), 0700);
  Checker("bin/scanner", "exit 1");
  const std::string savedPath = std::getenv("PATH");
  ::setenv("PATH", ("/nonexistent::" + dir.File("bin")).c_str(), 1);
  SetUpChecker("scanner");
  Item& item = QueueFile("file");
  EXPECT_TRUE(checker.CheckHead());
  ::setenv("PATH", savedPath.c_str(), 1);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(Get(item, key::kVirusCheck), std::to_string(kVirusInfected));
  EXPECT_NE(Get(item, key::kLog).find("Virus checking: " + dir.File("bin/scanner") + " \""),
            std::string::npos)
      << Get(item, key::kLog);
}

TEST_F(VirusCheckerTest, ASetUpOrStartFailureHaltsWithTheItemFirstInLine) {
  Item& item = QueueFile("file");
  EXPECT_FALSE(checker.CheckHead());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "You have not set up a virus check program.");
  EXPECT_TRUE(shared.halted);

  shared.halted = false;
  SetUpChecker(dir.File("no-such-checker"));
  EXPECT_FALSE(checker.CheckHead());
  EXPECT_EQ(messages.shown.back().text,
            "Virus Check System Failure.  Please confirm the settings for virus check software.");
  EXPECT_NE(Get(item, key::kLog).find("Could not spawn virus checker."), std::string::npos);
  EXPECT_EQ(Get(item, key::kVirusChecking), "0");

  shared.halted = false;
  SetUpChecker(Checker("scanner", "exit 0"), "--no-file");
  EXPECT_FALSE(checker.CheckHead());
  EXPECT_NE(messages.shown.back().text.find("There is no %1"), std::string::npos);

  // Once the settings are right, the same item is checked first.
  shared.halted = false;
  SetUpChecker(dir.File("scanner"));
  ASSERT_EQ(Queue().front(), &item);
  EXPECT_TRUE(checker.CheckHead());
  EXPECT_EQ(Get(item, key::kVirusCheck), "2");
}

TEST_F(VirusCheckerTest, AStopEndsAHungCheckerAndKeepsTheItemQueued) {
  SetUpChecker(Checker("hang", "exec sleep 300"));
  Item& item = QueueFile("file");
  std::thread thread([&] { checker.Loop(); });
  ASSERT_TRUE(testing::WaitFor([&] { return Get(item, key::kVirusChecking) == "1"; }, 10s));
  const auto asked = std::chrono::steady_clock::now();
  shared.thread = VirusThreadState::kStopRequested;
  const bool answered =
      testing::WaitFor([&] { return shared.thread == VirusThreadState::kStopped; }, 10s);
  thread.join();
  EXPECT_TRUE(answered);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 3s);
  EXPECT_EQ(Get(item, key::kVirusCheck), "");
  EXPECT_EQ(Get(item, key::kVirusChecking), "0");
  EXPECT_EQ(Queue().front(), &item);
}

}  // namespace
}  // namespace pellmarsh
