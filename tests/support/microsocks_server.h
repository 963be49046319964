#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace pellmarsh::testing {

// /usr/bin/microsocks, a SOCKS 5 proxy, on 127.0.0.1 and a free port.
//
//   MicrosocksServer proxy("tester", "secret");  // or () for one without a login
//   ASSERT_TRUE(proxy.Start());
//   ... download through "socks5://tester:secret@" + proxy.Address() ...
class MicrosocksServer {
 public:
  MicrosocksServer() = default;
  MicrosocksServer(std::string user, std::string password)
      : user_(std::move(user)), password_(std::move(password)) {}

  // Starts it and waits, with a deadline, until it takes connections; on
  // failure the result carries its output.
  ::testing::AssertionResult Start();

  uint16_t port() const { return port_; }
  // "127.0.0.1:<port>"
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  std::string user_;
  std::string password_;
  TempDir dir_;
  uint16_t port_ = 0;
  ChildProcess process_;  // Declared last: stopped before the directory goes.
};

}  // namespace pellmarsh::testing
