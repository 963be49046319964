#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/resolver.h"
#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "transfer/line_end_converter.h"
#include "transfer/session/transfer_session.h"
#include "transfer/unfinished_file.h"
#include "url/local_name_registry.h"

namespace pellmarsh::testing {

// Answers name lookups from a table, so no test ever needs a name server.
class FakeResolver final : public Resolver {
 public:
  LookupResult Lookup(const std::string& hostName) override {
    if (duringLookup) {
      duringLookup();
    }
    const auto found = names.find(hostName);
    return found == names.end() ? LookupResult{0, 11001} : found->second;
  }
  LookupResult ReverseLookup(const SocketAddress&) override { return {0, 11004}; }

  std::map<std::string, LookupResult> names;
  std::function<void()> duringLookup;
};

// Environment variables from a table, so no test sees the machine's proxy.
class FakeEnvironment final : public Environment {
 public:
  std::optional<std::string> Get(const std::string& name) const override {
    const auto found = variables.find(name);
    return found == variables.end() ? std::nullopt : std::optional<std::string>(found->second);
  }

  std::map<std::string, std::string> variables;
};

// Line ends converted as one text-mode pass over the whole source would.
inline std::string ConvertedLineEnds(const std::string& source) {
  LineEndConverter converter;
  std::string out;
  converter.Convert(source.data(), source.size(), out);
  converter.Flush(out);
  return out;
}

// While it lives, no file may grow past `bytes`: writing further fails as on
// a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    const rlimit small{bytes, saved_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*oldHandler_)(int);
};

// A tree with the built-in folders and settings, URL items in "_filelist", and
// sessions stepped by hand as the scheduler would step them.
class SessionHarness : public ::testing::Test {
 protected:
  SessionHarness() {
    Tree::Access access(tree);
    SetUpRootAndFolders(access.root(), dir.path());
    SetUpDefaultsAndSettings(access.root(), dir.path());
  }

  // A URL item as the scheduler hands it over: status 104.
  Item& NewItem(const std::string& url, const std::string& local) {
    Tree::Access access(tree);
    Item& item = access->FindByName("_filelist")->AddChild(std::make_unique<Item>());
    item.SetProp(key::kType, "_url");
    item.SetProp(key::kValue, url);
    item.SetProp(key::kLocal, local);
    item.SetPropInt(key::kStatus, kStatusStarting);
    return item;
  }

  std::unique_ptr<TransferSession> Session(Item& item) {
    Tree::Access access(tree);
    return std::make_unique<TransferSession>(
        item, TransferContext{access.root(), treeLock, clock, events, resolver, names,
                              buffer.data(), buffer.size() - 1, nullptr, &environment});
  }

  // Steps until the session has finished, at most `maxSteps` times (a session
  // waiting on a peer spins here, so keep peers prompt); returns the steps taken.
  static int RunToEnd(TransferSession& session, int maxSteps = 50'000'000) {
    int steps = 0;
    while (steps < maxSteps && session.Step()) {
      ++steps;
    }
    return steps;
  }

  // One attempt, started as the scheduler starts it, stepped to its end.
  void Attempt(Item& item) {
    item.SetPropInt(key::kStatus, kStatusStarting);
    auto session = Session(item);
    EXPECT_TRUE(WaitFor([&] { return !session->Step(); }, std::chrono::seconds(30),
                        std::chrono::milliseconds(0)))
        << "no end in time";
  }
  static bool Logged(const Item& item, const std::string& text) {
    return item.GetProp(key::kLog).find(text) != std::string::npos;
  }
  static std::string OnDisk(const std::string& path) {
    return FileExistsOnDisk(path) ? ReadFile(path) : "(none)";
  }
  // The item's bytes where they are: the final file, or the unfinished one.
  static std::string FileOf(const Item& item) { return OnDisk(ItemFileOf(item)); }
  static std::string Unfinished(const std::string& local) { return UnfinishedPathOf(local); }

  // What the session's next step waits on: "none", "accept on <port>" for a
  // listening socket, or "read from <port>" or "write to <port>" with the port
  // at the far end of a connection.
  static std::string WaitOf(const TransferSession& session) {
    const Transfer::Wait wait = [&session] {
      TreeLockGuard lock(session.treeLock());
      return session.NextWait();
    }();
    if (wait.fd < 0) {
      return "none";
    }
    int listening = 0;
    socklen_t size = sizeof listening;
    ::getsockopt(wait.fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size);
    sockaddr_in end{};
    size = sizeof end;
    if (listening) {
      ::getsockname(wait.fd, reinterpret_cast<sockaddr*>(&end), &size);
      return "accept on " + std::to_string(ntohs(end.sin_port));
    }
    ::getpeername(wait.fd, reinterpret_cast<sockaddr*>(&end), &size);
    return (wait.forWrite ? "write to " : "read from ") + std::to_string(ntohs(end.sin_port));
  }

  // The texts of the log's lines, without their tick counts.
  static std::vector<std::string> LogTexts(const Item& item) {
    std::vector<std::string> texts;
    const std::string log = item.GetProp(key::kLog);
    for (size_t start = 0; start < log.size();) {
      const size_t end = log.find("\r\n", start);
      texts.push_back(log.substr(start + 12, end - start - 12));
      start = end + 2;
    }
    return texts;
  }

  TempDir dir;
  // Sessions take the lock themselves, and a step lets go of it around a
  // lookup only when it is held once: the test takes it only between steps.
  Tree tree;
  TreeLock& treeLock = tree.lock();
  FakeClock clock;
  RecordingEvents events;
  FakeResolver resolver;
  FakeEnvironment environment;
  LocalNameRegistry names{tree};
  std::vector<char> buffer = std::vector<char>(kTransferBufferSize + 1);
};

}  // namespace pellmarsh::testing
