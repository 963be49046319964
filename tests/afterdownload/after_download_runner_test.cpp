// The user's program after each download: started without a shell, in order
// behind the virus check, stopped when it runs too long or the program closes.
#include "afterdownload/after_download_runner.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include "app/app.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/app_harness.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

using std::chrono::seconds;

std::string Script(testing::TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.File(name);
  testing::WriteFile(path, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0700);
  return path;
}

std::string LogOf(App& app, const Item& item) {
  Tree::Access tree(app.tree());
  return item.GetProp(key::kLog);
}

bool Logged(App& app, const Item& item, const std::string& text) {
  return LogOf(app, item).find(text) != std::string::npos;
}

// Downloads `source` as file:// to `local` with the program line set.
Item& QueueWithProgram(testing::AppHarness& harness, const std::string& line,
                       const std::string& source, const std::string& local) {
  testing::WriteFile(harness.dir.File(source), "bytes of " + source);
  Tree::Access tree(harness.app().tree());
  tree->SetProp(setting::kRunAfter, line);
  return harness.Queue("file://" + harness.dir.File(source), harness.dir.File(local));
}

TEST(AfterDownload, TheProgramGetsEachValueAsOneArgumentAndItsOutputIsLogged) {
  testing::AppHarness harness;
  App& app = harness.Load();
  testing::TempDir& dir = harness.dir;
  const std::string args = dir.File("args");
  const std::string program = Script(dir, "record args",
                                     "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> '" + args +
                                         "'; done\necho first line\necho to stderr >&2\nexit 3\n");
  const std::string name = "it's a \"file\"; touch x $(y).bin";
  Item& item = QueueWithProgram(
      harness, "'" + program + "' --file {file} \"in {folder}\" {url} {name}", "source.bin", name);
  app.StartWorkers();
  const bool ran = testing::WaitFor([&] { return Logged(app, item, "Program exited with status"); },
                                    seconds(30));
  harness.StopWorkers();
  ASSERT_TRUE(ran) << LogOf(app, item);
  EXPECT_EQ(harness.Status(item), kStatusComplete);
  EXPECT_EQ(testing::ReadFile(args), "[--file]\n[" + dir.File(name) + "]\n[in " + dir.path() +
                                         "]\n[file://" + dir.File("source.bin") + "]\n[" + name +
                                         "]\n");
  const std::string log = LogOf(app, item);
  for (const std::string& line :
       {"Running after download: '" + program + "' --file " + dir.File(name),
        std::string("Program output: first line"), std::string("Program output: to stderr"),
        std::string("Program exited with status 3")}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
  EXPECT_FALSE(testing::FileExistsOnDisk(dir.File("x")));
}

TEST(AfterDownload, WithTheVirusCheckOnOnlyACleanFileGoesToTheProgramAfterItsCheck) {
  testing::AppHarness harness;
  App& app = harness.Load();
  testing::TempDir& dir = harness.dir;
  const std::string order = dir.File("order");
  const std::string checker =
      Script(dir, "checker",
             "echo \"checked ${1##*/}\" >> '" + order + "'\ncase \"$1\" in *bad*) exit 1;; esac\n");
  const std::string program = Script(dir, "program", "echo \"ran ${1##*/}\" >> '" + order + "'\n");
  harness.CheckVirusesWith(checker);
  Item& bad = QueueWithProgram(harness, program + " {file}", "bad", "bad copy");
  Item& good = QueueWithProgram(harness, program + " {file}", "good", "good copy");
  app.StartWorkers();
  const bool done = testing::WaitFor(
      [&] {
        return Logged(app, good, "Program exited with status 0") &&
               Logged(app, bad, "Not run after download:");
      },
      seconds(30));
  harness.StopWorkers();
  ASSERT_TRUE(done) << LogOf(app, good) << LogOf(app, bad);
  const std::string record = testing::ReadFile(order);
  // The checker goes on to the next file while the program runs, so only the
  // order of each file's own lines is fixed.
  const size_t checked = record.find("checked good copy\n");
  ASSERT_NE(checked, std::string::npos) << record;
  EXPECT_NE(record.find("ran good copy\n", checked), std::string::npos) << record;
  EXPECT_EQ(record.find("ran bad"), std::string::npos) << record;
  EXPECT_TRUE(
      Logged(app, bad, "Not run after download: the virus check did not find the file clean."));
}

TEST(AfterDownload, ClosingPellmarshStopsARunningProgramAtOnce) {
  testing::AppHarness harness;
  App& app = harness.Load();
  const std::string program = Script(harness.dir, "slow", "sleep 60\n");
  Item& item = QueueWithProgram(harness, program, "source", "copy");
  app.StartWorkers();
  ASSERT_TRUE(
      testing::WaitFor([&] { return Logged(app, item, "Running after download:"); }, seconds(30)));
  const auto before = std::chrono::steady_clock::now();
  harness.StopWorkers();
  EXPECT_LT(std::chrono::steady_clock::now() - before, seconds(4));
  EXPECT_TRUE(Logged(app, item, "Program stopped: Pellmarsh is closing.")) << LogOf(app, item);
}

bool Gone(pid_t pid) {
  const std::string stat = testing::FileExistsOnDisk("/proc/" + std::to_string(pid) + "/stat")
                               ? testing::ReadFile("/proc/" + std::to_string(pid) + "/stat")
                               : "";
  return stat.empty() || stat.find(") Z") != std::string::npos;
}

TEST(AfterDownloadRunner, FailuresAndLongRunsEndAsClearLogLines) {
  testing::TempDir dir;
  const std::string pidFile = dir.File("grandchild");
  const struct {
    const char* what;
    std::string line;
    std::vector<std::string> logged;
    std::string notLogged;
  } rows[] = {
      {"a program that is not there",
       "/nonexistent/program {file}",
       {"Could not start the program after download: No such file or directory"},
       "Program exited"},
      {"a program killed by a signal", "sh -c 'kill -9 $$'", {"Program ended by signal 9"}, ""},
      {"a program that talks a lot",
       "sh -c 'seq 1 15; printf %0300d 0'",
       {"Program output: 10\r\n", "Program output goes on; the rest is not shown.",
        "Program exited with status 0"},
       "Program output: 11"},
      {"a program with a grandchild that runs too long",
       "sh -c 'sleep 60 & echo $! > " + pidFile + "; wait'",
       {"Program stopped: it ran past its time limit of 1 s."},
       "Program exited"},
  };
  for (const auto& row : rows) {
    Tree tree;
    AfterDownloadShared shared;
    SystemClock clock;
    AfterDownloadRunner runner(tree, shared, clock, std::chrono::milliseconds(300));
    Item* item = nullptr;
    {
      Tree::Access access(tree);
      access->SetProp(setting::kRunAfter, row.line);
      item = &access->AddChild(std::make_unique<Item>());
      item->SetProp(key::kLocal, dir.File("file"));
      shared.Add(tree.lock(), *item, false);
    }
    runner.RunNext();
    Tree::Access access(tree);
    const std::string log = item->GetProp(key::kLog);
    for (const std::string& text : row.logged) {
      EXPECT_NE(log.find(text), std::string::npos) << row.what << ": " << text << "\n" << log;
    }
    if (!row.notLogged.empty()) {
      EXPECT_EQ(log.find(row.notLogged), std::string::npos) << row.what << "\n" << log;
    }
  }
  const pid_t grandchild = std::stoi(testing::ReadFile(pidFile));
  EXPECT_TRUE(testing::WaitFor([&] { return Gone(grandchild); }, seconds(10)));
}

}  // namespace
}  // namespace pellmarsh
