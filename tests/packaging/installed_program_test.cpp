// Installs the program as a package would and runs it from a folder it cannot
// write, as a user of an installed copy does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "support/child_process.h"
#include "support/lock_probe.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

using namespace std::chrono_literals;

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(InstalledProgram, KeepsItsDataInTheUsersDataFolderWhenItsOwnFolderIsReadOnly) {
  testing::TempDir dir;
  const std::string stage = dir.File("stage");
  ::setenv("DESTDIR", stage.c_str(), 1);
  {
    testing::ChildProcess install;
    ASSERT_TRUE(
        install.Start({PELLMARSH_CMAKE, "--install", PELLMARSH_BUILD_DIR, "--prefix", "/usr"},
                      dir.File("install.log")))
        << install.error();
    ASSERT_TRUE(testing::WaitFor([&] { return !install.Running(); }, 120s));
    ASSERT_EQ(install.ExitDescription(), "exited with status 0")
        << testing::ReadFile(dir.File("install.log"));
  }
  ::unsetenv("DESTDIR");
  const std::string bin = stage + "/usr/bin";
  ASSERT_EQ(::chmod(bin.c_str(), 0555), 0);

  const std::string home = dir.File("home");
  ::mkdir(home.c_str(), 0700);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string dataDir = dir.File("data") + "/pellmarsh";

  testing::ChildProcess program;
  ASSERT_TRUE(program.Start({bin + "/pellmarsh"}, dir.File("program.log"))) << program.error();
  ASSERT_TRUE(
      testing::WaitFor([&] { return testing::LockHeldElsewhere(dataDir + "/pmarsh.lock"); }, 30s))
      << testing::ReadFile(dir.File("program.log"));
  program.Stop(SIGTERM, 30s);
  EXPECT_EQ(program.ExitDescription(), "exited with status 0")
      << testing::ReadFile(dir.File("program.log"));

  EXPECT_EQ(ModeOf(dataDir), 0700u);
  EXPECT_EQ(ModeOf(dataDir + "/pmarsh.dat"), 0600u);
  EXPECT_NE(testing::ReadFile(dataDir + "/pmarsh.dat").find(home + "/Downloads"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(bin + "/pmarsh.dat"));
  EXPECT_FALSE(std::filesystem::exists(bin + "/pmarsh.lock"));
  ::chmod(bin.c_str(), 0755);  // so the temporary folder can be removed
}

}  // namespace
}  // namespace pellmarsh
