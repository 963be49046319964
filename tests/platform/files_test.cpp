#include "platform/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

TEST(FileExists, OnlyANameThatIsNotThereCountsAsAbsent) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("file"), "x");
  std::filesystem::create_directory(dir.File("directory"));
  const std::tuple<std::string, FileProbe, bool> rows[] = {
      {dir.File("missing"), FileProbe::kAbsent, false},
      {dir.File("missing/child"), FileProbe::kAbsent, false},
      {"", FileProbe::kAbsent, false},
      {dir.File("file"), FileProbe::kOpened, true},
      {dir.File("directory"), FileProbe::kUnusable, true},
      {dir.File("file/child"), FileProbe::kUnusable, true},
      {dir.File("file") + std::string(1, '\0') + "x", FileProbe::kUnusable, true},
  };
  for (const auto& [path, probe, exists] : rows) {
    EXPECT_EQ(ProbeFile(path), probe) << path;
    EXPECT_EQ(FileExists(path), exists) << path;
  }
}

TEST(FileExists, AReadOnlyFileCountsAsPresent) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "root opens a read-only file for writing";
  }
  testing::TempDir dir;
  testing::WriteFile(dir.File("ro"), "x");
  ::chmod(dir.File("ro").c_str(), 0444);
  EXPECT_EQ(ProbeFile(dir.File("ro")), FileProbe::kUnusable);
  EXPECT_TRUE(FileExists(dir.File("ro")));
}

}  // namespace
}  // namespace pellmarsh
