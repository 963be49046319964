#include "platform/data_folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

class DataFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::mkdir(program.c_str(), 0755);
    environment.home = dir.File("home");
    environment.userId = ::geteuid();
    ::mkdir(environment.home.c_str(), 0700);
  }
  void TearDown() override { ::chmod(program.c_str(), 0755); }

  testing::TempDir dir;
  std::string program = dir.File("bin");
  UserEnvironment environment;
};

TEST_F(DataFoldersTest, AWritableProgramFolderKeepsEverythingBesideTheProgram) {
  const DataFolders folders = ChooseDataFolders(program, environment);
  EXPECT_TRUE(folders.besideProgram);
  EXPECT_EQ(folders.dataDir, program);
  EXPECT_EQ(folders.downloadDir, program + "/download");
}

TEST_F(DataFoldersTest, AReadOnlyProgramFolderSendsTheDataToAPrivateFolderInTheUsersDataHome) {
  ::chmod(program.c_str(), 0555);
  const DataFolders folders = ChooseDataFolders(program, environment);
  EXPECT_FALSE(folders.besideProgram);
  EXPECT_EQ(folders.programDir, program);
  EXPECT_EQ(folders.dataDir, environment.home + "/.local/share/pellmarsh");
  EXPECT_EQ(folders.downloadDir, environment.home + "/Downloads");
  struct stat info {};
  ASSERT_EQ(::stat(folders.dataDir.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(DataFoldersTest, AnotherUsersProgramFolderOrOneUnderUsrIsNeverTheDataFolder) {
  environment.userId = ::geteuid() + 1;
  EXPECT_FALSE(ChooseDataFolders(program, environment).besideProgram);
  struct stat usrBin {};
  ASSERT_EQ(::stat("/usr/bin", &usrBin), 0);
  environment.userId = usrBin.st_uid;  // as root runs an installed program
  const DataFolders folders = ChooseDataFolders("/usr/bin", environment);
  EXPECT_FALSE(folders.besideProgram);
  EXPECT_EQ(folders.dataDir, environment.home + "/.local/share/pellmarsh");
}

TEST_F(DataFoldersTest, AnAbsoluteXdgDataHomeIsUsedAndARelativeOneIgnored) {
  ::chmod(program.c_str(), 0555);
  environment.xdgDataHome = dir.File("data");
  EXPECT_EQ(ChooseDataFolders(program, environment).dataDir, dir.File("data") + "/pellmarsh");
  environment.xdgDataHome = "relative/data";
  EXPECT_EQ(ChooseDataFolders(program, environment).dataDir,
            environment.home + "/.local/share/pellmarsh");
}

TEST_F(DataFoldersTest, TheDownloadFolderComesFromTheUsersDirectoryNames) {
  environment.xdgConfigHome = dir.File("config");
  ::mkdir(environment.xdgConfigHome.c_str(), 0700);
  testing::WriteFile(environment.xdgConfigHome + "/user-dirs.dirs",
                     "# written by xdg-user-dirs-update\n"
                     "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                     "XDG_DOWNLOAD_DIR=\"$HOME/Fetched Files/\"\n");
  EXPECT_EQ(UserDownloadDir(environment), environment.home + "/Fetched Files");
  testing::WriteFile(environment.xdgConfigHome + "/user-dirs.dirs",
                     "XDG_DOWNLOAD_DIR=\"/srv/incoming\"\n");
  EXPECT_EQ(UserDownloadDir(environment), "/srv/incoming");
  testing::WriteFile(environment.xdgConfigHome + "/user-dirs.dirs", "XDG_DOWNLOAD_DIR=broken\n");
  EXPECT_EQ(UserDownloadDir(environment), environment.home + "/Downloads");
}

}  // namespace
}  // namespace pellmarsh
