// Copies a 1 GiB file through a transfer session stepped in a loop, as the
// scheduler steps it, and compares the time with `cat src > dst`.
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "notify/events.h"
#include "platform/clock.h"
#include "platform/resolver.h"
#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "transfer/session/transfer_session.h"
#include "url/local_name_registry.h"

namespace {

using key = pellmarsh::key;

using SteadyClock = std::chrono::steady_clock;

double SecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

void WriteSource(const std::string& path, int64_t size, bool withLineEnds) {
  std::vector<char> block(1 << 20);
  std::mt19937 random(1);
  for (char& byte : block) {
    byte = static_cast<char>(random() & 0xFF);
  }
  if (withLineEnds) {
    for (size_t index = 0; index < block.size(); index += 61) {
      block[index] = '\n';
    }
  }
  std::ofstream out(path, std::ios::binary);
  for (int64_t written = 0; written < size; written += static_cast<int64_t>(block.size())) {
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
}

double CopyThroughSession(pellmarsh::Tree& tree, const std::string& source,
                          const std::string& target, int transferCode) {
  std::filesystem::remove(target);
  pellmarsh::SystemClock clock;
  pellmarsh::SilentEvents events;
  pellmarsh::SystemResolver resolver;
  pellmarsh::LocalNameRegistry names(tree);
  std::vector<char> buffer(pellmarsh::kTransferBufferSize + 1);
  std::unique_ptr<pellmarsh::TransferSession> session;
  pellmarsh::Item* item = nullptr;
  {
    pellmarsh::Tree::Access access(tree);
    item = &access->FindByName("_filelist")->AddChild(std::make_unique<pellmarsh::Item>());
    item->SetProp(key::kValue, "file://" + source);
    item->SetProp(key::kLocal, target);
    item->SetPropInt(key::kStatus, pellmarsh::kStatusStarting);
    item->SetPropInt(key::kTransferCode, transferCode);
    session = std::make_unique<pellmarsh::TransferSession>(
        *item, pellmarsh::TransferContext{access.root(), tree.lock(), clock, events, resolver,
                                          names, buffer.data(), pellmarsh::kTransferBufferSize});
  }
  const auto start = SteadyClock::now();
  while (session->Step()) {
  }
  session.reset();
  const double seconds = SecondsSince(start);
  pellmarsh::Tree::Access access(tree);
  if (item->GetPropInt(key::kStatus) != pellmarsh::kStatusComplete) {
    std::fprintf(stderr, "copy failed: %s\n", item->GetProp(key::kError).c_str());
    std::exit(1);
  }
  return seconds;
}

double CopyWithCat(const std::string& source, const std::string& target) {
  std::filesystem::remove(target);
  const std::string command = "cat '" + source + "' > '" + target + "'";
  const auto start = SteadyClock::now();
  if (std::system(command.c_str()) != 0) {
    std::perror("cat");
  }
  return SecondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/dev/shm";
  const int64_t size = int64_t{1} << 30;
  const std::string binarySource = dir + "/bench-source.bin";
  const std::string textSource = dir + "/bench-source.txt";
  const std::string target = dir + "/bench-target";
  WriteSource(binarySource, size, false);
  WriteSource(textSource, size, true);

  pellmarsh::Tree tree;
  tree.With([&](pellmarsh::Item& root) {
    pellmarsh::SetUpRootAndFolders(root, dir);
    pellmarsh::SetUpDefaultsAndSettings(root, dir);
  });

  double bestSession = 1e9, bestCat = 1e9, bestText = 1e9;
  for (int round = 0; round < 3; ++round) {
    bestCat = std::min(bestCat, CopyWithCat(binarySource, target));
    bestSession = std::min(bestSession, CopyThroughSession(tree, binarySource, target, 1));
    bestText = std::min(bestText, CopyThroughSession(tree, textSource, target, 2));
  }
  std::filesystem::remove(binarySource);
  std::filesystem::remove(textSource);
  std::filesystem::remove(target);

  std::printf("1 GiB file copy in %s, best of 3\n", dir.c_str());
  std::printf("cat:                 %6.3f s  %7.0f MB/s\n", bestCat, size / 1e6 / bestCat);
  std::printf("session, binary:     %6.3f s  %7.0f MB/s\n", bestSession, size / 1e6 / bestSession);
  std::printf("session / cat speed: %.2f (goal >= 0.7)\n", bestCat / bestSession);
  std::printf("session, text mode:  %6.3f s  (%.3f s per GiB more than binary)\n", bestText,
              bestText - bestSession);
  return 0;
}
