#include "support/tinyproxy_server.h"

#include "support/loopback_socket.h"
#include "support/wait.h"

namespace pellmarsh::testing {
namespace {

constexpr char kTinyproxy[] = "/usr/bin/tinyproxy";
constexpr auto kStartTimeout = std::chrono::seconds(20);
// Another process may take the port between our probe and tinyproxy's bind.
constexpr int kStartAttempts = 3;

}  // namespace

std::string TinyproxyServer::Address() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string TinyproxyServer::Log() const {
  return ReadFile(dir_.File("tinyproxy.out"));
}

std::string TinyproxyServer::Config() const {
  std::string config = "Port " + std::to_string(port_) + "\nListen 127.0.0.1\n";
  config += "Timeout 600\nMaxClients 100\nLogLevel Info\nAllow 127.0.0.1\n";
  config += "DisableViaHeader Yes\n";
  if (!options_.user.empty()) {
    config += "BasicAuth " + options_.user + " " + options_.password + "\n";
  }
  return config;
}

::testing::AssertionResult TinyproxyServer::Start() {
  std::string config;
  std::string problem;
  for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
    port_ = ListenLoopback().LocalPort();
    config = Config();
    WriteFile(dir_.File("tinyproxy.conf"), config);
    if (!process_.Start({kTinyproxy, "-d", "-c", dir_.File("tinyproxy.conf")},
                        dir_.File("tinyproxy.out"))) {
      return ::testing::AssertionFailure() << process_.error();
    }
    bool ready = false;
    WaitFor(
        [&] {
          return !process_.Running() ||
                 (ready = ConnectLoopback(port_, std::chrono::milliseconds(500)).valid());
        },
        kStartTimeout);
    if (ready && process_.Running()) {
      return ::testing::AssertionSuccess();
    }
    const bool ended = !process_.Running();
    process_.Stop();
    problem = ended ? process_.ExitDescription() : "no connection within the deadline";
    if (Log().find("Address already in use") == std::string::npos) {
      break;
    }
  }
  port_ = 0;
  return ::testing::AssertionFailure()
         << "tinyproxy did not come up: " << problem << "\n--- tinyproxy.conf ---\n"
         << config << "--- output ---\n"
         << Log();
}

}  // namespace pellmarsh::testing
