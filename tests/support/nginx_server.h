#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace pellmarsh::testing {

// /usr/sbin/nginx on 127.0.0.1 (or [::1]), on a free port, serving a document root the test
// fills. Everything it writes (configuration, pid, error log, temporary files)
// lives in a directory of its own, removed with the server. It runs as one
// foreground process (no master, no workers), so it stays the test's own user.
//
//   NginxServer::Options options;
//   options.basicAuth.push_back({"/private/", "tester", "secret"});
//   options.redirects.push_back({"/moved", 302, "../elsewhere/a.txt"});
//   options.contentTypes.push_back({".pmx", "application/x-pellmarsh"});
//   NginxServer nginx(options);
//   ASSERT_TRUE(nginx.Start());
//   nginx.AddFile("/private/a.pmx", "bytes");
//   ... download nginx.Url("/private/a.pmx") ...
class NginxServer {
 public:
  // Requests for paths that start with prefix need Basic credentials.
  struct BasicAuth {
    std::string prefix;
    std::string user;
    std::string password;
  };
  // A request for exactly path is answered with status and a Location header
  // holding location as given: relative ones stay relative, and "{http}" and
  // "{https}" stand for this server's own two origins. It is answered before
  // any credentials are asked for.
  struct Redirect {
    std::string path;
    int status = 302;
    std::string location;
  };
  // Files whose name ends in an extension (".pmx") or the file at exactly a path
  // ("/data/file.bin") are served with type. Other files get text/html (.html,
  // .htm), text/plain (.txt) or application/octet-stream.
  struct ContentType {
    std::string match;
    std::string type;
  };
  struct Options {
    std::vector<BasicAuth> basicAuth;
    std::string realm = "Pellmarsh test";
    std::vector<Redirect> redirects;
    std::vector<ContentType> contentTypes;
    // Further directives placed as they are inside the server block, such as
    // other location blocks; root is the document root.
    std::string extraConfig;
    // Directives placed as they are in the http block, before the server,
    // such as the zones that limit_conn names.
    std::string httpConfig;
    // When set, each request is logged there when it ends, as
    // "sent=<body bytes> <request line> range=<Range header>".
    std::string rangeLogPath;
    // When set, the same server also answers https:// on tlsPort() with this
    // certificate (PEM) and key.
    std::string tlsCertificate;
    std::string tlsKey;
    // The one address it listens on, as a URL writes it: "127.0.0.1" or "[::1]".
    std::string listenAddress = "127.0.0.1";
  };

  NginxServer() : NginxServer(Options()) {}
  explicit NginxServer(Options options);
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;
  // Stops nginx (SIGTERM, then SIGKILL after a deadline) and removes its directory.
  ~NginxServer() = default;

  // Starts nginx and waits, with a deadline, until it answers on its port. On
  // failure the result carries the configuration and the error log.
  ::testing::AssertionResult Start();

  uint16_t port() const { return port_; }
  uint16_t tlsPort() const { return tlsPort_; }
  const std::string& root() const { return root_; }
  // "http://<listen address>:<port>" followed by path ("/a/b.txt").
  std::string Url(std::string_view path) const;
  // "https://<host>:<tlsPort>" followed by path: the test certificates name
  // "localhost" and 127.0.0.1.
  std::string TlsUrl(std::string_view path, std::string_view host = "localhost") const;
  // Writes a file below the document root, making its directories.
  void AddFile(std::string_view path, std::string_view bytes) const;
  std::string ErrorLog() const;

 private:
  std::string Config() const;
  std::string AuthDirectives(std::string_view path) const;
  std::string WithOrigins(std::string location) const;
  bool AnswersReadyProbe() const;
  bool ListensOnIPv6() const { return options_.listenAddress.starts_with("["); }

  Options options_;
  TempDir dir_;
  std::string root_;
  std::string readyToken_;
  uint16_t port_ = 0;
  uint16_t tlsPort_ = 0;
  ChildProcess process_;  // Declared last: stopped before the directory goes.
};

}  // namespace pellmarsh::testing
