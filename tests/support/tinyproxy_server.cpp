#include "support/tinyproxy_server.h"

#include "support/free_port_start.h"

namespace pellmarsh::testing {
namespace {

constexpr char kTinyproxy[] = "/usr/bin/tinyproxy";

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
  port_ = StartOnFreePort(
      process_, dir_.File("tinyproxy.out"),
      [&](uint16_t port) {
        port_ = port;
        config = Config();
        WriteFile(dir_.File("tinyproxy.conf"), config);
        return std::vector<std::string>{kTinyproxy, "-d", "-c", dir_.File("tinyproxy.conf")};
      },
      problem);
  if (port_ != 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "tinyproxy did not come up: " << problem << "\n--- tinyproxy.conf ---\n"
         << config << "--- output ---\n"
         << Log();
}

}  // namespace pellmarsh::testing
