#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace pellmarsh::testing {

// /usr/bin/tinyproxy on 127.0.0.1, on a free port, in the foreground, with its
// configuration and log in a directory of its own, removed with it.
//
//   TinyproxyServer::Options options;
//   options.user = "tester";  // then only requests with these credentials pass
//   options.password = "secret";
//   TinyproxyServer proxy(options);
//   ASSERT_TRUE(proxy.Start());
//   ... download through "127.0.0.1:" + std::to_string(proxy.port()) ...
class TinyproxyServer {
 public:
  struct Options {
    std::string user;
    std::string password;
  };

  TinyproxyServer() : TinyproxyServer(Options()) {}
  explicit TinyproxyServer(Options options) : options_(std::move(options)) {}
  TinyproxyServer(const TinyproxyServer&) = delete;
  TinyproxyServer& operator=(const TinyproxyServer&) = delete;

  // Starts tinyproxy and waits, with a deadline, until it takes connections.
  // On failure the result carries the configuration and the log.
  ::testing::AssertionResult Start();

  uint16_t port() const { return port_; }
  // "127.0.0.1:<port>"
  std::string Address() const;
  std::string Log() const;

 private:
  std::string Config() const;

  Options options_;
  TempDir dir_;
  uint16_t port_ = 0;
  ChildProcess process_;  // Declared last: stopped before the directory goes.
};

}  // namespace pellmarsh::testing
