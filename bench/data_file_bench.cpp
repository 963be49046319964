// Saves and loads a data file of 10,000 URL items (with --large 10,000 pending
// and 90,000 finished) and compares the save with writing the same bytes in
// one write and one flush to disk.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/user_messages.h"
#include "sample_tree.h"
#include "store/data_file.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"

namespace {

using key = pellmarsh::key;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class SilentMessages final : public pellmarsh::UserMessages {
 public:
  pellmarsh::MessageAnswer Show(const pellmarsh::UserMessage& message) override {
    std::fprintf(stderr, "message: %s\n", message.text.c_str());
    return pellmarsh::MessageAnswer::kOk;
  }
};

double PlainWriteSeconds(const std::string& path, const std::string& bytes) {
  const auto start = Clock::now();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
      ::fsync(fd) != 0) {
    std::perror("plain write");
  }
  ::close(fd);
  return SecondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  const bool large = argc > 1 && std::string(argv[1]) == "--large";
  const std::string dir = argc > (large ? 2 : 1) ? argv[large ? 2 : 1]
                                                 : std::filesystem::temp_directory_path().string();
  const int rounds = 5;
  const int pending = large ? 10000 : 0;
  const int finished = large ? 90000 : 10000;

  pellmarsh::Tree tree;
  tree.With([&](pellmarsh::Item& root) {
    root.SetProp(key::kName, "Top Folder");
    pellmarsh::bench::AddSampleUrlItems(root, pending, pellmarsh::kStatusQueued);
    pellmarsh::bench::AddSampleUrlItems(root, finished, pellmarsh::kStatusComplete);
  });

  std::atomic<bool> commandBusy{false};
  std::atomic<bool> saving{false};
  SilentMessages messages;
  pellmarsh::SystemClock clock;
  pellmarsh::AtomicFileReplacer replacer(pellmarsh::DataFile::kFileMode);
  pellmarsh::DataFile dataFile(dir, {commandBusy, saving}, messages, clock, replacer);
  const std::string plainPath = dir + "/plain-write.bin";

  double firstSave = 0, bestSave = 1e9, bestPlain = 1e9, bestLoad = 1e9;
  for (int round = 0; round < rounds; ++round) {
    const auto saveStart = Clock::now();
    dataFile.Save(tree);
    const double saveSeconds = SecondsSince(saveStart);
    firstSave = round == 0 ? saveSeconds : firstSave;
    bestSave = std::min(bestSave, saveSeconds);

    const std::string bytes =
        tree.With([](pellmarsh::Item& root) { return pellmarsh::SaveTree(root); });
    bestPlain = std::min(bestPlain, PlainWriteSeconds(plainPath, bytes));

    pellmarsh::Tree loaded;
    const auto loadStart = Clock::now();
    dataFile.LoadAtStartup(loaded);
    bestLoad = std::min(bestLoad, SecondsSince(loadStart));
  }
  const size_t keptBuffer = dataFile.keptBufferBytes();
  const auto size = std::filesystem::file_size(dataFile.Path());
  std::filesystem::remove(plainPath);
  std::filesystem::remove(dataFile.Path());

  std::printf(
      "data file: %ju bytes (%.1f MB), %d pending and %d finished URL items, best of %d "
      "rounds\n",
      static_cast<uintmax_t>(size), size / 1e6, pending, finished, rounds);
  std::printf("save:        %8.1f ms (first save of the run %.1f ms)\n", bestSave * 1e3,
              firstSave * 1e3);
  std::printf("plain write: %8.1f ms (one write + fsync of the same bytes)\n", bestPlain * 1e3);
  std::printf("save / plain write ratio: %.2f (goal <= 1.5)\n", bestSave / bestPlain);
  std::printf("load:        %8.1f ms = %.0f MB/s (goal > 200 MB/s)\n", bestLoad * 1e3,
              size / 1e6 / bestLoad);
  std::printf("buffer kept for the next save: %.1f MB\n", keptBuffer / 1e6);
  return 0;
}
