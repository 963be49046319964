#include "transfer/save_file.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

TEST(SaveFile, AnExistingFileIsOpenedForUpdateWithItsLengthAndANewOneIsCreated) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("old"), std::string(5000, 'x'));
  SaveFile existing(0);
  int64_t size = -1;
  ASSERT_TRUE(existing.Open(dir.File("old"), size));
  EXPECT_EQ(size, 5000);
  EXPECT_EQ(existing.position(), 0);
  SaveFile created(0);
  ASSERT_TRUE(created.Open(dir.File("new"), size));
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(testing::FileExistsOnDisk(dir.File("new")));
  SaveFile impossible(0);
  EXPECT_FALSE(impossible.Open(dir.File("no-such-dir/file"), size));
}

TEST(SaveFile, TheReopenKeepsTheWritePositionNotTheEndOfTheFile) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("f"), std::string(100000, 'o'));  // an older, longer file
  SaveFile file(1000);
  int64_t size = 0;
  ASSERT_TRUE(file.Open(dir.File("f"), size));
  const std::string chunk(40000, 'n');
  ASSERT_TRUE(file.Write(chunk.data(), chunk.size()));
  ASSERT_TRUE(file.NoteReceived(chunk.size(), 1031));  // reopens here
  ASSERT_TRUE(file.Write("END", 3));
  ASSERT_TRUE(file.TruncateAtPosition());
  file.Close();
  EXPECT_EQ(testing::ReadFile(dir.File("f")), chunk + "END");
}

TEST(SaveFile, ResumingWritesFromTheGivenOffset) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("f"), "12345");
  SaveFile file(0);
  int64_t size = 0;
  ASSERT_TRUE(file.Open(dir.File("f"), size));
  file.SeekTo(size);
  ASSERT_TRUE(file.Write("678", 3));
  file.Close();
  EXPECT_EQ(testing::ReadFile(dir.File("f")), "12345678");
}

TEST(SaveFile, AFullDiskIsAWriteError) {
  SaveFile file(0);
  int64_t size = 0;
  ASSERT_TRUE(file.Open("/dev/full", size));
  EXPECT_FALSE(file.Write("data", 4));
}

}  // namespace
}  // namespace pellmarsh
