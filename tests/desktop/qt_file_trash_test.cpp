#include "desktop/qt_file_trash.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>
#include <optional>

#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

// An environment variable set for one test and put back after it.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = ::getenv(name)) {
      old_ = old;
    }
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::optional<dev_t> DeviceOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? std::optional<dev_t>(info.st_dev) : std::nullopt;
}

// A home of its own with a download in it; the home trash under dataHome.
class QtFileTrashTest : public ::testing::Test {
 protected:
  void UseDataHome(const std::string& dataHome) {
    dataHomeVariable = std::make_unique<ScopedVariable>("XDG_DATA_HOME", dataHome);
  }

  testing::TempDir home;
  ScopedVariable homeVariable{"HOME", home.path()};
  std::unique_ptr<ScopedVariable> dataHomeVariable;
  const std::string file = home.File("a.iso");
  QtFileTrash trash;
};

TEST_F(QtFileTrashTest, AFileBesideTheHomeTrashGoesIntoIt) {
  UseDataHome(home.File("data"));
  ASSERT_EQ(::mkdir(home.File("data").c_str(), 0700), 0);
  testing::WriteFile(file, "bytes");
  ASSERT_TRUE(trash.CanTrash(file));
  ASSERT_TRUE(trash.MoveToTrash(file));
  EXPECT_FALSE(testing::FileExistsOnDisk(file));
  EXPECT_EQ(testing::ReadFile(home.File("data/Trash/files/a.iso")), "bytes");
  // What a file manager needs to put it back.
  EXPECT_NE(testing::ReadFile(home.File("data/Trash/info/a.iso.trashinfo")).find("Path=" + file),
            std::string::npos);
  EXPECT_FALSE(trash.CanTrash(file));  // nothing left to move
}

// Qt renames into the trash and never copies: a home trash on another
// filesystem cannot take the file, which must be said before the move fails.
TEST_F(QtFileTrashTest, AHomeTrashOnAnotherFilesystemCannotTakeTheFile) {
  std::unique_ptr<testing::TempDir> elsewhere;
  {
    const ScopedVariable temporary("TMPDIR", "/dev/shm");
    elsewhere = std::make_unique<testing::TempDir>();
  }
  if (!DeviceOf(elsewhere->path()) || DeviceOf(elsewhere->path()) == DeviceOf(home.path())) {
    GTEST_SKIP() << "no second filesystem at /dev/shm";
  }
  UseDataHome(elsewhere->path());
  testing::WriteFile(file, "bytes");
  EXPECT_FALSE(trash.CanTrash(file));
  EXPECT_FALSE(trash.MoveToTrash(file));
  EXPECT_EQ(testing::ReadFile(file), "bytes");
}

}  // namespace
}  // namespace pellmarsh
