#include "store/data_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree.h"
#include "store/tree_assertions.h"
#include "store/tree_codec.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

using testing::FileExistsOnDisk;
using testing::TreesEqual;
using testing::WriteFile;

// Fails a given number of times with a chosen errno, then writes for real.
class FlakyReplacer final : public FileReplacer {
 public:
  std::optional<FileFailure> Replace(const std::string& path, std::string_view bytes) override {
    ++calls;
    if (failuresLeft > 0) {
      --failuresLeft;
      return FailureFromErrno(EACCES);
    }
    return real.Replace(path, bytes);
  }

  int failuresLeft = 0;
  int calls = 0;
  AtomicFileReplacer real{DataFile::kFileMode};
};

class DataFileTest : public ::testing::Test {
 protected:
  DataFile MakeDataFile() {
    return DataFile(dir.path(), SaveGuards{commandBusy, saving}, messages, clock, replacer);
  }

  static Tree& SampleTree(Tree& tree) {
    Tree::Access access(tree);
    Item& root = access.root();
    root.SetProp(key::kName, "Top Folder");
    Item& list = root.AddChild(std::make_unique<Item>());
    list.SetProp(key::kName, "_filelist");
    Item& url = list.AddChild(std::make_unique<Item>());
    url.SetProp(key::kType, "_url");
    url.SetPropInt(key::kStatus, kStatusComplete);
    url.SetPropInt(key::kRetryCount, 0);  // what the load-time reset writes for a complete item
    return tree;
  }

  static std::string Bytes(Tree& tree) {
    return tree.With([](Item& root) { return SaveTree(root); });
  }

  testing::TempDir dir;
  std::atomic<bool> commandBusy{false};
  std::atomic<bool> saving{false};
  testing::RecordingMessages messages;
  testing::FakeClock clock;
  FlakyReplacer replacer;
};

TEST_F(DataFileTest, ASavedTreeLoadsBackAtTheNextStart) {
  Tree original;
  SampleTree(original);
  MakeDataFile().Save(original);

  Tree loaded;
  EXPECT_FALSE(MakeDataFile().LoadAtStartup(loaded).report);
  Tree::Access originalRoot(original);
  Tree::Access loadedRoot(loaded);
  EXPECT_TRUE(TreesEqual(originalRoot.root(), loadedRoot.root()));
}

TEST_F(DataFileTest, TheFileIsPrivateToTheUserAndNoTemporaryIsLeftBehind) {
  Tree root;
  MakeDataFile().Save(SampleTree(root));
  struct stat info {};
  ASSERT_EQ(stat(dir.File("pmarsh.dat").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(FileExistsOnDisk(dir.File("pmarsh.dat.new")));
}

TEST_F(DataFileTest, TheOldNameIsReadOnceAndDeleted) {
  Tree original;
  WriteFile(dir.File("pellmarsh.dat"), Bytes(SampleTree(original)));
  DataFile dataFile = MakeDataFile();

  Tree loaded;
  dataFile.LoadAtStartup(loaded);
  {
    Tree::Access originalRoot(original);
    Tree::Access loadedRoot(loaded);
    EXPECT_TRUE(TreesEqual(originalRoot.root(), loadedRoot.root()));
  }
  EXPECT_FALSE(FileExistsOnDisk(dir.File("pellmarsh.dat")));
  dataFile.Save(loaded);
  EXPECT_TRUE(FileExistsOnDisk(dir.File("pmarsh.dat")));
  EXPECT_FALSE(FileExistsOnDisk(dir.File("pellmarsh.dat")));
}

TEST_F(DataFileTest, WithBothFilesOnlyTheNewNameIsReadAndTheOldOneStays) {
  Tree current;
  current.Lock()->SetProp(key::kName, "current");
  Tree old;
  old.Lock()->SetProp(key::kName, "old");
  WriteFile(dir.File("pmarsh.dat"), Bytes(current));
  WriteFile(dir.File("pellmarsh.dat"), Bytes(old));

  Tree loaded;
  MakeDataFile().LoadAtStartup(loaded);
  EXPECT_EQ(loaded.Lock()->GetProp(key::kName), "current");
  EXPECT_TRUE(FileExistsOnDisk(dir.File("pellmarsh.dat")));
}

TEST_F(DataFileTest, NoFileAtAllIsNotAnError) {
  Tree loaded;
  EXPECT_FALSE(MakeDataFile().LoadAtStartup(loaded).report);
  EXPECT_EQ(loaded.Lock()->ChildCount(), 0);
}

TEST_F(DataFileTest, ADamagedFileKeepsWhatWasReadAndACopyOfItselfBeforeTheNextSave) {
  Tree original;
  const std::string bytes = Bytes(SampleTree(original));
  const std::string damaged = bytes.substr(0, bytes.size() - 6);
  WriteFile(dir.File("pmarsh.dat"), damaged);
  clock.unixTime = 1765000000;  // 2025-12-06 05:46:40 UTC

  Tree loaded;
  DataFile dataFile = MakeDataFile();
  const LoadOutcome outcome = dataFile.LoadAtStartup(loaded);
  EXPECT_EQ(loaded.Lock()->GetProp(key::kName), "Top Folder");
  ASSERT_TRUE(outcome.report);
  EXPECT_FALSE(outcome.unreadable);
  // The folder and the cut URL item are kept; the root is not counted.
  EXPECT_NE(outcome.report->text.find("kept the 2 items"), std::string::npos);
  std::vector<std::string> copies;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    if (entry.path().filename().string().rfind("pmarsh.dat.damaged-", 0) == 0) {
      copies.push_back(entry.path());
    }
  }
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_NE(outcome.report->text.find(copies[0]), std::string::npos) << outcome.report->text;
  dataFile.Save(loaded);
  EXPECT_EQ(testing::ReadFile(copies[0]), damaged);
  EXPECT_NE(testing::ReadFile(dir.File("pmarsh.dat")), damaged);
}

TEST_F(DataFileTest, ADamagedFileIsRepairedAtOnceAndTheSameDamageIsCopiedOnlyOnce) {
  Tree original;
  const std::string bytes = SampleTree(original).With([](Item& root) { return SaveTree(root); });
  const std::string damaged = bytes.substr(0, bytes.size() - 6);
  auto copies = [&] {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      if (entry.path().filename().string().starts_with("pmarsh.dat.damaged-")) {
        found.push_back(entry.path());
      }
    }
    return found;
  };
  WriteFile(dir.File("pmarsh.dat"), damaged);
  clock.unixTime = 1765000000;
  {
    Tree loaded;
    ASSERT_TRUE(MakeDataFile().LoadAtStartup(loaded).report);
  }
  // The start ended without a save (killed): the next one finds a sound file.
  {
    Tree loaded;
    EXPECT_FALSE(MakeDataFile().LoadAtStartup(loaded).report);
  }
  // The same damage met again later is not copied a second time.
  WriteFile(dir.File("pmarsh.dat"), damaged);
  clock.unixTime += 3600;
  Tree loaded;
  const LoadOutcome outcome = MakeDataFile().LoadAtStartup(loaded);
  ASSERT_EQ(copies().size(), 1u);
  ASSERT_TRUE(outcome.report);
  EXPECT_NE(outcome.report->text.find(copies()[0]), std::string::npos) << outcome.report->text;
  EXPECT_EQ(testing::ReadFile(copies()[0]), damaged);
}

TEST_F(DataFileTest, ADataFileThatCannotBeReadIsNeverSavedOver) {
  // A directory in its place reads with an error even for root.
  ASSERT_EQ(mkdir(dir.File("pmarsh.dat").c_str(), 0700), 0);
  Tree loaded;
  DataFile dataFile = MakeDataFile();
  const LoadOutcome outcome = dataFile.LoadAtStartup(loaded);
  EXPECT_TRUE(outcome.unreadable);
  ASSERT_TRUE(outcome.report);
  EXPECT_EQ(outcome.report->text, "Pellmarsh cannot read its data file " + dir.File("pmarsh.dat") +
                                      ": Is a directory. Nothing was changed.");
  dataFile.Save(SampleTree(loaded));
  EXPECT_EQ(replacer.calls, 0);
  EXPECT_TRUE(dataFile.SaveUnattended(loaded));
  EXPECT_EQ(replacer.calls, 0);
}

TEST_F(DataFileTest, AnEmptyFileKeepsNothingAndACutChildCountAddsNoEmptyItem) {
  WriteFile(dir.File("pmarsh.dat"), "");
  Tree empty;
  EXPECT_NE(MakeDataFile().LoadAtStartup(empty).report->text.find("Nothing could be read"),
            std::string::npos);

  Tree original;
  SampleTree(original);
  std::string bytes;
  size_t urlRecord = 0;
  original.With([&](Item& root) {
    bytes = SaveTree(root);
    urlRecord = SaveTree(*root.ChildAt(0)->ChildAt(0)).size();
  });
  // Cut just after the folder announced its one child.
  WriteFile(dir.File("pmarsh.dat"), bytes.substr(0, bytes.size() - urlRecord));
  Tree loaded;
  MakeDataFile().LoadAtStartup(loaded);
  Tree::Access access(loaded);
  ASSERT_EQ(access->ChildCount(), 1);
  EXPECT_EQ(access->ChildAt(0)->ChildCount(), 0);
}

TEST_F(DataFileTest, ADamagedOldNameFileIsNotDeleted) {
  Tree original;
  const std::string bytes = Bytes(SampleTree(original));
  WriteFile(dir.File("pellmarsh.dat"), bytes.substr(0, 20));

  Tree loaded;
  EXPECT_TRUE(MakeDataFile().LoadAtStartup(loaded).report);
  EXPECT_TRUE(FileExistsOnDisk(dir.File("pellmarsh.dat")));
}

TEST_F(DataFileTest, LoadingResetsInterruptedItems) {
  Tree original;
  SampleTree(original).Lock()->ChildAt(0)->ChildAt(0)->SetPropInt(key::kStatus,
                                                                  kStatusTransferring);
  WriteFile(dir.File("pmarsh.dat"), Bytes(original));
  Tree loaded;
  MakeDataFile().LoadAtStartup(loaded);
  EXPECT_EQ(loaded.Lock()->ChildAt(0)->ChildAt(0)->GetPropInt(key::kStatus), kStatusQueued);
}

TEST_F(DataFileTest, ASaveWhileAnotherRunsWritesNothing) {
  saving = true;
  Tree root;
  MakeDataFile().Save(SampleTree(root));
  EXPECT_EQ(replacer.calls, 0);
  EXPECT_FALSE(FileExistsOnDisk(dir.File("pmarsh.dat")));
  EXPECT_TRUE(saving);
}

TEST_F(DataFileTest, TheFiftiethAttemptSucceedingShowsNoMessage) {
  replacer.failuresLeft = 49;
  Tree root;
  MakeDataFile().Save(SampleTree(root));
  EXPECT_EQ(replacer.calls, 50);
  EXPECT_TRUE(FileExistsOnDisk(dir.File("pmarsh.dat")));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(clock.sleeps, std::vector<int>(49, 200));
  EXPECT_FALSE(saving);
}

TEST_F(DataFileTest, FiftyFailuresTellTheUserWithThePathAndCodes) {
  replacer.failuresLeft = 50;
  Tree root;
  MakeDataFile().Save(SampleTree(root));
  EXPECT_EQ(replacer.calls, 50);
  ASSERT_EQ(messages.shown.size(), 1u);
  const std::string expected = "Non-fatal error - Could not save data file [" +
                               dir.File("pmarsh.dat") + "] [Exception:5, Errno:13].";
  EXPECT_EQ(messages.shown[0].text.rfind(expected, 0), 0u) << messages.shown[0].text;
  EXPECT_NE(messages.shown[0].text.find("issue tracker"), std::string::npos);
  EXPECT_FALSE(saving);
}

TEST_F(DataFileTest, ASaveWaitsForARunningItemCommand) {
  commandBusy = true;
  // The fake clock's sleep is where a command would finish; end it on the third wait.
  struct EndingClock final : public Clock {
    explicit EndingClock(std::atomic<bool>& busy) : busy(busy) {}
    uint32_t TickCount() const override { return 0; }
    int64_t UnixTime() const override { return 0; }
    void SleepMs(int milliseconds) override {
      waits.push_back(milliseconds);
      if (waits.size() == 3) {
        busy = false;
      }
    }
    std::atomic<bool>& busy;
    std::vector<int> waits;
  } endingClock(commandBusy);
  DataFile dataFile(dir.path(), SaveGuards{commandBusy, saving}, messages, endingClock, replacer);
  Tree root;
  dataFile.Save(SampleTree(root));
  EXPECT_EQ(endingClock.waits, (std::vector<int>{100, 100, 100}));
  EXPECT_EQ(replacer.calls, 1);
}

TEST_F(DataFileTest, ARequestedSaveCyclesTheFlagBackToZero) {
  std::atomic<int> saveRequested{0};
  Tree root;
  DataFile dataFile = MakeDataFile();
  dataFile.SaveIfRequested(SampleTree(root), saveRequested);
  EXPECT_EQ(replacer.calls, 0);
  saveRequested = 1;
  dataFile.SaveIfRequested(root, saveRequested);
  EXPECT_EQ(replacer.calls, 1);
  EXPECT_EQ(saveRequested, 0);

  // The buffer stays for the saves of a busy queue and goes when it is quiet.
  const size_t kept = dataFile.keptBufferBytes();
  EXPECT_GE(kept, Bytes(root).size());
  for (int tick = 1; tick < DataFile::kQuietTicks; ++tick) {
    dataFile.SaveIfRequested(root, saveRequested);
  }
  EXPECT_EQ(dataFile.keptBufferBytes(), kept);
  dataFile.SaveIfRequested(root, saveRequested);
  EXPECT_LT(dataFile.keptBufferBytes(), kept);

  // A long list's buffer goes with the save it was made for.
  root.Lock()->SetProp(key::kValue, std::string(DataFile::kKeptBufferBytes, 'v'));
  saveRequested = 1;
  dataFile.SaveIfRequested(root, saveRequested);
  EXPECT_EQ(replacer.calls, 2);
  EXPECT_EQ(dataFile.keptBufferBytes(), std::string().capacity());
}

TEST_F(DataFileTest, ARequestDuringASaveIsKeptForTheNextTick) {
  std::atomic<int> saveRequested{0};
  // The scheduler asks again while the save is being written.
  struct AskingReplacer final : public FileReplacer {
    std::optional<FileFailure> Replace(const std::string&, std::string_view) override {
      if (++calls == 1) {
        RequestSave(*requests);
      }
      return std::nullopt;
    }
    std::atomic<int>* requests = nullptr;
    int calls = 0;
  } asking;
  asking.requests = &saveRequested;
  DataFile dataFile(dir.path(), SaveGuards{commandBusy, saving}, messages, clock, asking);
  Tree root;
  RequestSave(saveRequested);
  RequestSave(saveRequested);  // a second request before the tick is the same request
  EXPECT_EQ(saveRequested, kSaveRequested);
  dataFile.SaveIfRequested(root, saveRequested);
  EXPECT_EQ(asking.calls, 1);
  EXPECT_EQ(saveRequested, kSaveRequested);
  dataFile.SaveIfRequested(root, saveRequested);
  EXPECT_EQ(asking.calls, 2);
  EXPECT_EQ(saveRequested, kSaveIdle);
}

TEST_F(DataFileTest, AFailedReplaceLeavesTheOldFileWhole) {
  Tree first;
  first.Lock()->SetProp(key::kName, "first");
  DataFile dataFile = MakeDataFile();
  dataFile.Save(first);
  // A directory in the temporary file's place makes every write attempt fail.
  ASSERT_EQ(mkdir(dir.File("pmarsh.dat.new").c_str(), 0700), 0);
  Tree second;
  second.Lock()->SetProp(key::kName, "second");
  dataFile.Save(second);
  ASSERT_EQ(messages.shown.size(), 1u);

  Tree loaded;
  rmdir(dir.File("pmarsh.dat.new").c_str());
  dataFile.LoadAtStartup(loaded);
  EXPECT_EQ(loaded.Lock()->GetProp(key::kName), "first");
}

}  // namespace
}  // namespace pellmarsh
