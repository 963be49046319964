#include "support/ftp_server.h"

#include <charconv>
#include <filesystem>

#include "support/loopback_socket.h"
#include "support/wait.h"

namespace pellmarsh::testing {
namespace {

// The Debian interpreter, in isolated mode: another python3 on PATH, or a
// PYTHONPATH, must not hide Debian's python3-pyftpdlib.
constexpr char kPython[] = "/usr/bin/python3";
constexpr auto kStartTimeout = std::chrono::seconds(20);

}  // namespace

FtpServer::FtpServer(Options options) : options_(std::move(options)), root_(dir_.File("home")) {}

void FtpServer::AddFile(std::string_view path, std::string_view bytes) const {
  while (!path.empty() && path.front() == '/') {
    path.remove_prefix(1);
  }
  const std::filesystem::path file = std::filesystem::path(root_) / path;
  std::filesystem::create_directories(file.parent_path());
  WriteFile(file.string(), std::string(bytes));
}

std::string FtpServer::Log() const {
  return ReadFile(dir_.File("ftp.log"));
}

std::optional<uint16_t> FtpServer::ReportedPort() const {
  const std::string text = ReadFile(dir_.File("port"));
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data() || value == 0 || value > 65535) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

bool FtpServer::Greets() const {
  LoopbackSocket socket = options_.listenAddress == "::1"
                              ? ConnectLoopbackIPv6(port_, std::chrono::milliseconds(500))
                              : ConnectLoopback(port_, std::chrono::milliseconds(500));
  if (!socket.valid()) {
    return false;
  }
  // A multi-line greeting ends with the line whose code is followed by a space.
  while (std::optional<std::string> line = socket.ReceiveLine(std::chrono::seconds(2))) {
    if (line->starts_with("220 ")) {
      return true;
    }
    if (!line->starts_with("220-")) {
      return false;
    }
  }
  return false;
}

::testing::AssertionResult FtpServer::Start() {
  std::filesystem::create_directories(root_);
  std::vector<std::string> argv = {kPython,
                                   "-I",
                                   PELLMARSH_FTP_SERVER_SCRIPT,
                                   "--root",
                                   root_,
                                   "--user",
                                   options_.user,
                                   "--password",
                                   options_.password,
                                   "--port-file",
                                   dir_.File("port"),
                                   "--listen",
                                   options_.listenAddress};
  if (options_.anonymous) {
    argv.push_back("--anonymous");
  }
  if (options_.cutDataAfter > 0) {
    argv.push_back("--cut-data-after");
    argv.push_back(std::to_string(options_.cutDataAfter));
  }
  if (options_.banner) {
    argv.push_back("--banner");
    argv.push_back(*options_.banner);
  }
  if (!process_.Start(argv, dir_.File("ftp.log"))) {
    return ::testing::AssertionFailure() << process_.error();
  }
  std::optional<uint16_t> port;
  WaitFor([&] { return !process_.Running() || (port = ReportedPort()); }, kStartTimeout);
  bool greeted = false;
  if (port) {
    port_ = *port;
    greeted = WaitFor([&] { return !process_.Running() || Greets(); }, kStartTimeout) &&
              process_.Running();
  }
  if (greeted) {
    return ::testing::AssertionSuccess();
  }
  const bool ended = !process_.Running();
  process_.Stop();
  port_ = 0;
  return ::testing::AssertionFailure()
         << "the FTP server did not come up: "
         << (ended ? process_.ExitDescription()
                   : (port ? "no greeting within the deadline" : "no port within the deadline"))
         << "\n--- log ---\n"
         << Log();
}

}  // namespace pellmarsh::testing
