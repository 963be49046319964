// Runs the real program from a copy of its directory, as a user's desktop would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/lock_probe.h"
#include "support/nginx_server.h"
#include "support/random_bytes.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "support/wait.h"
#include "url/local_name_registry.h"

extern char** environ;

namespace pellmarsh {
namespace {

using namespace std::chrono_literals;

using testing::WaitFor;

// The status and "resume" of the first download in a data file the program
// saved; nothing while the file cannot be read whole.
std::optional<std::pair<int, int>> SavedStatusAndResume(const std::string& dataFile) {
  Item saved;
  if (!testing::FileExistsOnDisk(dataFile) ||
      !LoadTree(saved, testing::ReadFile(dataFile)).complete) {
    return std::nullopt;
  }
  const Item* list = saved.FindByName("_filelist");
  if (!list || list->ChildCount() == 0) {
    return std::nullopt;
  }
  const Item& item = *list->ChildAt(0);
  return std::pair{item.GetPropInt(key::kStatus), item.GetPropInt(key::kResume)};
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(PELLMARSH_PROGRAM, dir.File("pellmarsh"));
    std::filesystem::permissions(dir.File("pellmarsh"), std::filesystem::perms::owner_all);
  }

  void TearDown() override {
    for (pid_t pid : started) {
      if (::kill(pid, 0) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
      }
    }
  }

  pid_t Start(const std::string& output) { return StartIn(dir.path(), dir.File(output)); }

  // Starts the copy of the program in `directory`, its output going to `outputPath`.
  pid_t StartIn(const std::string& directory, const std::string& outputPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen"};
    for (char** entry = environ; *entry; ++entry) {
      if (std::string_view(*entry).rfind("QT_QPA_PLATFORM=", 0) != 0) {
        environment.emplace_back(*entry);
      }
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) {
      envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string program = directory + "/pellmarsh";
    char* argv[] = {program.data(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    started.push_back(pid);
    return pid;
  }

  // The program locks its directory once it has taken over its signals; asking
  // about the lock does not take it.
  bool WaitUntilStarted() {
    return WaitFor([&] { return DirectoryLocked(); }, 20s);
  }

  bool DirectoryLocked() const { return DirectoryLocked(dir.path()); }
  static bool DirectoryLocked(const std::string& directory) {
    return testing::LockHeldElsewhere(directory + "/pmarsh.lock");
  }

  std::optional<int> WaitForExit(pid_t pid) {
    int status = 0;
    const bool exited = WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 30s);
    if (!exited || !WIFEXITED(status)) {
      return std::nullopt;
    }
    return WEXITSTATUS(status);
  }

  // Until a save shows the first queued download complete.
  bool WaitUntilSavedComplete() {
    return WaitFor(
        [&] {
          const auto saved = SavedStatusAndResume(dir.File("pmarsh.dat"));
          return saved && saved->first == kStatusComplete;
        },
        60s);
  }

  testing::TempDir dir;
  std::vector<pid_t> started;
};

TEST_F(ProgramTest, TerminatingDuringTheFirstStartAboutBoxSavesACompleteTree) {
  const pid_t pid = Start("first.out");
  ASSERT_TRUE(WaitUntilStarted());
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  ASSERT_EQ(WaitForExit(pid), std::optional<int>(0)) << testing::ReadFile(dir.File("first.out"));

  Item saved;
  const TreeLoadResult result = LoadTree(saved, testing::ReadFile(dir.File("pmarsh.dat")));
  ASSERT_TRUE(result.complete) << result.problem;
  EXPECT_EQ(saved.GetProp(key::kName), "Top Folder");
  EXPECT_EQ(saved.GetProp(key::kRunDirectory), dir.path());
  std::vector<std::string> folders;
  for (int index = 0; index < saved.ChildCount(); ++index) {
    folders.push_back(saved.ChildAt(index)->GetProp(key::kName));
  }
  EXPECT_EQ(folders, (std::vector<std::string>{"_typelist", "_filelist", "_filelog", "nkw-defaults",
                                               "nkw-ftptext", "nkw-httptext", "_soundconfig"}));
  EXPECT_EQ(saved.GetProp(setting::kHighSpeed), "0.000000");
  EXPECT_EQ(saved.GetProp(setting::kMaxCons), "2");
  EXPECT_FALSE(saved.GetProp(setting::kFirstStart).empty());
}

TEST_F(ProgramTest, ASecondStartBesideTheFirstIsRefusedAndTouchesNothing) {
  const pid_t first = Start("first.out");
  ASSERT_TRUE(WaitUntilStarted());
  const pid_t second = Start("second.out");
  EXPECT_EQ(WaitForExit(second), std::optional<int>(1));
  EXPECT_NE(testing::ReadFile(dir.File("second.out")).find("Pellmarsh is already running."),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.File("pmarsh.dat")));

  ASSERT_EQ(::kill(first, SIGINT), 0);
  EXPECT_EQ(WaitForExit(first), std::optional<int>(0));
  EXPECT_TRUE(std::filesystem::exists(dir.File("pmarsh.dat")));
}

TEST_F(ProgramTest, ALaterStartLoadsWhatTheLastOneSaved) {
  const pid_t first = Start("first.out");
  ASSERT_TRUE(WaitUntilStarted());
  ::kill(first, SIGHUP);
  ASSERT_EQ(WaitForExit(first), std::optional<int>(0));
  Item before;
  LoadTree(before, testing::ReadFile(dir.File("pmarsh.dat")));

  EXPECT_FALSE(DirectoryLocked());
  const pid_t second = Start("second.out");
  ASSERT_TRUE(WaitUntilStarted());
  ::kill(second, SIGTERM);
  ASSERT_EQ(WaitForExit(second), std::optional<int>(0));
  Item after;
  LoadTree(after, testing::ReadFile(dir.File("pmarsh.dat")));
  // Not a first start any more: the marker of the first run survives the second.
  EXPECT_EQ(after.GetProp(setting::kFirstStart), before.GetProp(setting::kFirstStart));
}

// A data file whose list holds one queued download and a speed limit in the
// setting's own unit.
void WriteOneQueuedDownload(const std::string& dataFile, const std::string& url,
                            const std::string& local, double kilobytesPerMinute) {
  Item root;
  root.SetProp(key::kName, "Top Folder");
  root.SetProp(setting::kFirstStart, "1765000000");
  root.SetPropDouble(setting::kLowSpeed, kilobytesPerMinute);
  Item& list = root.AddChild(std::make_unique<Item>());
  list.SetProp(key::kName, "_filelist");
  list.SetProp(key::kType, "_folder");
  Item& item = list.AddChild(std::make_unique<Item>());
  item.SetProp(key::kType, "_url");
  item.SetProp(key::kName, std::filesystem::path(local).filename().string());
  item.SetProp(key::kValue, url);
  item.SetProp(key::kLocal, local);
  item.SetPropInt(key::kStatus, kStatusQueued);
  testing::WriteFile(dataFile, SaveTree(root));
}

TEST_F(ProgramTest, AProgramKilledMidDownloadResumesFromItsFileAfterTheRestart) {
  testing::NginxServer::Options options;
  options.rangeLogPath = dir.File("ranges.log");
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  const std::string data = testing::RandomBytes(400 << 10, 131);
  nginx.AddFile("/big.bin", data);
  // 10 KB a second; the ten-second mean lets the first second take more.
  WriteOneQueuedDownload(dir.File("pmarsh.dat"), nginx.Url("/big.bin"), dir.File("big.bin"), 600);
  // Until it is whole, the download is only in its unfinished file.
  const std::string unfinished = UnfinishedPathOf(dir.File("big.bin"));
  const auto received = [&] {
    EXPECT_FALSE(testing::FileExistsOnDisk(dir.File("big.bin")));
    return testing::FileExistsOnDisk(unfinished) ? std::filesystem::file_size(unfinished) : 0;
  };
  const pid_t first = Start("first.out");
  // Killed once a third is on disk and a save has said so.
  ASSERT_TRUE(WaitFor(
      [&] {
        const auto saved = SavedStatusAndResume(dir.File("pmarsh.dat"));
        return received() >= data.size() / 3 && saved && saved->second == 1;
      },
      60s));
  ::kill(first, SIGKILL);
  ::waitpid(first, nullptr, 0);
  ASSERT_LT(received(), data.size());
  {
    // The rest at full speed.
    Item root;
    ASSERT_TRUE(LoadTree(root, testing::ReadFile(dir.File("pmarsh.dat"))).complete);
    root.SetPropDouble(setting::kLowSpeed, 1e9);
    testing::WriteFile(dir.File("pmarsh.dat"), SaveTree(root));
  }

  const pid_t second = Start("second.out");
  ASSERT_TRUE(WaitUntilSavedComplete());
  ::kill(second, SIGTERM);
  EXPECT_EQ(WaitForExit(second), std::optional<int>(0));
  EXPECT_TRUE(testing::ReadFile(dir.File("big.bin")) == data);
  EXPECT_FALSE(testing::FileExistsOnDisk(unfinished));
  // The restart, the last request, asked only for what was missing.
  const std::string ranges = testing::ReadFile(dir.File("ranges.log"));
  const size_t from = ranges.rfind("range=bytes=");
  ASSERT_NE(from, std::string::npos) << ranges;
  EXPECT_GT(std::stoll(ranges.substr(from + 12)), 0) << ranges;
}

TEST_F(ProgramTest, AnHttpsDownloadInTheQueueArrivesWhole) {
  testing::TestCertificates certificates;
  ASSERT_TRUE(certificates.Make());
  // The program inherits the trust, as a user's OpenSSL would be told of it.
  ::setenv("SSL_CERT_FILE", certificates.caFile().c_str(), 1);
  testing::NginxServer::Options options;
  options.tlsCertificate = certificates.valid().certificate;
  options.tlsKey = certificates.valid().key;
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  const std::string data = testing::RandomBytes(3 << 20, 131);
  nginx.AddFile("/big.bin", data);
  WriteOneQueuedDownload(dir.File("pmarsh.dat"), nginx.TlsUrl("/big.bin"), dir.File("big.bin"),
                         1e9);

  const pid_t pid = Start("tls.out");
  ASSERT_TRUE(WaitUntilSavedComplete());
  ::kill(pid, SIGTERM);
  EXPECT_EQ(WaitForExit(pid), std::optional<int>(0));
  EXPECT_TRUE(testing::ReadFile(dir.File("big.bin")) == data);
}

TEST_F(ProgramTest, ADataFileThatCannotBeReadIsLeftAsItIsAndTheProgramEnds) {
  ASSERT_TRUE(std::filesystem::create_directory(dir.File("pmarsh.dat")));
  const pid_t pid = Start("refused.out");
  ASSERT_TRUE(WaitUntilStarted());
  // The message waits for OK; a signal closes it as a user would.
  ::kill(pid, SIGTERM);
  EXPECT_EQ(WaitForExit(pid), std::optional<int>(1));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("pmarsh.dat")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("pmarsh.dat.new")));
}

TEST_F(ProgramTest, ALockFileThatCannotBeCreatedIsNotTakenForASecondInstance) {
  ASSERT_TRUE(std::filesystem::create_directory(dir.File("pmarsh.lock")));
  const pid_t pid = Start("lock.out");
  EXPECT_EQ(WaitForExit(pid), std::optional<int>(1));
  const std::string said = testing::ReadFile(dir.File("lock.out"));
  EXPECT_NE(said.find("Pellmarsh cannot create " + dir.File("pmarsh.lock") + ": "),
            std::string::npos)
      << said;
  EXPECT_EQ(said.find("already running"), std::string::npos);
}

TEST_F(ProgramTest, ATerminateOnAFullDiskEndsWithTheReasonAndTheOldDataFile) {
  const std::string mount = dir.File("full");
  std::filesystem::create_directory(mount);
  // Room for the program (much larger in a sanitizer build) and little more.
  const auto room = std::filesystem::file_size(dir.File("pellmarsh")) + (4u << 20);
  const std::string size = "size=" + std::to_string(room);
  if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, size.c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{mount};
  std::filesystem::copy_file(dir.File("pellmarsh"), mount + "/pellmarsh");
  std::filesystem::permissions(mount + "/pellmarsh", std::filesystem::perms::owner_all);
  // Not a first start, so no About box waits for OK.
  Item root;
  root.SetProp(key::kName, "Top Folder");
  root.SetProp(setting::kFirstStart, "1765000000");
  const std::string before = SaveTree(root);
  testing::WriteFile(mount + "/pmarsh.dat", before);
  testing::WriteFile(mount + "/download", "");  // the download folder cannot be made either
  // Fill what is left.
  {
    const int fd = ::open((mount + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
    std::vector<char> block(1 << 16, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
  }

  const pid_t pid = StartIn(mount, dir.File("full.out"));
  ASSERT_TRUE(WaitFor([&] { return DirectoryLocked(mount); }, 20s));
  ::kill(pid, SIGTERM);
  const std::optional<int> status = WaitForExit(pid);
  ASSERT_TRUE(status);
  EXPECT_NE(*status, 0);
  EXPECT_NE(testing::ReadFile(dir.File("full.out")).find("could not save on closing"),
            std::string::npos)
      << testing::ReadFile(dir.File("full.out"));
  EXPECT_EQ(testing::ReadFile(mount + "/pmarsh.dat"), before);
}

}  // namespace
}  // namespace pellmarsh
