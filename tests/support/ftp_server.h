#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace pellmarsh::testing {

// pyftpdlib (ftp_server.py under /usr/bin/python3) on 127.0.0.1, on a port the
// system chose, with one user (permissions "elr": list and read) and optionally
// anonymous login, both at the home directory root(). Passive mode (EPSV,
// PASV), active mode (PORT, EPRT to the control connection's own address
// only), REST and NLST work as pyftpdlib does them; a wrong password is
// refused at once. Stopped, and its directory removed, by the destructor.
//
//   FtpServer::Options options;
//   options.banner = "Welcome\nto the test";  // 220-Welcome, 220 to the test
//   FtpServer ftp(options);
//   ASSERT_TRUE(ftp.Start());
//   ftp.AddFile("/pub/a.bin", "bytes");
//   ... log in as ftp.user() / ftp.password() on ftp.port() ...
class FtpServer {
 public:
  struct Options {
    std::string user = "tester";
    std::string password = "secret";
    bool anonymous = false;
    // The greeting; each line of it becomes one line of the 220 reply. Without
    // one, pyftpdlib's own single-line greeting.
    std::optional<std::string> banner;
    // When above 0, every data connection is dropped after this many bytes, as
    // a broken link would drop it.
    int64_t cutDataAfter = 0;
    // "::1" listens on the IPv6 loopback instead.
    std::string listenAddress = "127.0.0.1";
  };

  FtpServer() : FtpServer(Options()) {}
  explicit FtpServer(Options options);
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;
  // Stops the server (SIGTERM, then SIGKILL after a deadline) and removes its directory.
  ~FtpServer() = default;

  // Starts the server and waits, with a deadline, until it greets a connection.
  // On failure the result carries the server's log.
  ::testing::AssertionResult Start();

  uint16_t port() const { return port_; }
  const std::string& root() const { return root_; }
  const std::string& user() const { return options_.user; }
  const std::string& password() const { return options_.password; }
  // Writes a file below the home directory, making its directories.
  void AddFile(std::string_view path, std::string_view bytes) const;
  std::string Log() const;

 private:
  std::optional<uint16_t> ReportedPort() const;
  bool Greets() const;

  Options options_;
  TempDir dir_;
  std::string root_;
  uint16_t port_ = 0;
  ChildProcess process_;  // Declared last: stopped before the directory goes.
};

}  // namespace pellmarsh::testing
