#include "support/nginx_server.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <map>

#include "support/loopback_socket.h"
#include "support/wait.h"

namespace pellmarsh::testing {
namespace {

constexpr char kNginx[] = "/usr/sbin/nginx";
constexpr char kReadyPath[] = "/.pellmarsh-ready";
constexpr auto kStartTimeout = std::chrono::seconds(20);
// nginx retries a busy port for about two seconds before it gives up; another
// process may take the port between our probe and nginx's bind, so try again.
constexpr int kStartAttempts = 3;

// A double-quoted nginx string. In directives that expand variables "$" would
// start one, so it is spelled through a variable holding a literal "$".
std::string Quoted(std::string_view text, bool expandsVariables) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (c == '$' && expandsVariables) {
      quoted += "${pellmarsh_dollar}";
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string Literal(std::string_view text) {
  return Quoted(text, false);
}

std::string Expanded(std::string_view text) {
  return Quoted(text, true);
}

// nginx drops privileges only in worker processes; as root it still wants a
// user for the files it creates, so it is the test's own.
std::string UserDirective() {
  if (::geteuid() != 0) {
    return "";
  }
  const passwd* user = ::getpwuid(::geteuid());
  const group* primary = ::getgrgid(::getegid());
  if (!user || !primary) {
    return "";
  }
  return "user " + Literal(user->pw_name) + " " + Literal(primary->gr_name) + ";\n";
}

uint16_t PickFreePort(bool ipv6) {
  return (ipv6 ? ListenLoopbackIPv6() : ListenLoopback()).LocalPort();
}

std::string UniqueToken() {
  static std::atomic<int> counter{0};
  return std::to_string(::getpid()) + "-" + std::to_string(++counter) + "-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

std::string WithoutLeadingSlashes(std::string_view path) {
  while (!path.empty() && path.front() == '/') {
    path.remove_prefix(1);
  }
  return std::string(path);
}

}  // namespace

NginxServer::NginxServer(Options options)
    : options_(std::move(options)), root_(dir_.File("www")), readyToken_(UniqueToken()) {}

namespace {

std::string UrlOf(std::string url, std::string_view path) {
  if (path.empty() || path.front() != '/') {
    url += '/';
  }
  return url.append(path);
}

}  // namespace

std::string NginxServer::Url(std::string_view path) const {
  return UrlOf("http://" + options_.listenAddress + ":" + std::to_string(port_), path);
}

std::string NginxServer::TlsUrl(std::string_view path, std::string_view host) const {
  return UrlOf("https://" + std::string(host) + ":" + std::to_string(tlsPort_), path);
}

void NginxServer::AddFile(std::string_view path, std::string_view bytes) const {
  const std::filesystem::path file = std::filesystem::path(root_) / WithoutLeadingSlashes(path);
  std::filesystem::create_directories(file.parent_path());
  WriteFile(file.string(), std::string(bytes));
}

std::string NginxServer::ErrorLog() const {
  return ReadFile(dir_.File("error.log"));
}

std::string NginxServer::WithOrigins(std::string location) const {
  for (const auto& [mark, origin] :
       {std::pair<std::string, std::string>{"{http}", Url("")}, {"{https}", TlsUrl("")}}) {
    const std::string withoutSlash = origin.substr(0, origin.size() - 1);
    for (size_t at = location.find(mark); at != std::string::npos; at = location.find(mark, at)) {
      location.replace(at, mark.size(), withoutSlash);
    }
  }
  return location;
}

// The longest protecting prefix wins, as nginx's own prefix match would choose.
std::string NginxServer::AuthDirectives(std::string_view path) const {
  int best = -1;
  for (size_t index = 0; index < options_.basicAuth.size(); ++index) {
    const std::string& prefix = options_.basicAuth[index].prefix;
    if (path.starts_with(prefix) &&
        (best < 0 || prefix.size() > options_.basicAuth[static_cast<size_t>(best)].prefix.size())) {
      best = static_cast<int>(index);
    }
  }
  if (best < 0) {
    return "";
  }
  return "      auth_basic " + Expanded(options_.realm) + ";\n      auth_basic_user_file " +
         Literal(dir_.File("users-" + std::to_string(best))) + ";\n";
}

std::string NginxServer::Config() const {
  std::map<std::string, std::string> types = {
      {"html", "text/html"}, {"htm", "text/html"}, {"txt", "text/plain"}};
  for (const ContentType& entry : options_.contentTypes) {
    if (entry.match.starts_with(".")) {
      std::string extension = entry.match.substr(1);
      // nginx looks extensions up in lower case.
      std::transform(extension.begin(), extension.end(), extension.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      types[extension] = entry.type;
    }
  }

  std::string config = "daemon off;\nmaster_process off;\n" + UserDirective();
  config += "pid " + Literal(dir_.File("nginx.pid")) + ";\n";
  config += "lock_file " + Literal(dir_.File("nginx.lock")) + ";\n";
  config += "error_log " + Literal(dir_.File("error.log")) + " info;\n";
  config += "events {\n  worker_connections 256;\n}\n";
  config += "http {\n";
  if (options_.rangeLogPath.empty()) {
    config += "  access_log off;\n";
  } else {
    config += "  log_format ranges 'sent=$body_bytes_sent $request range=$http_range';\n";
    config += "  access_log " + Literal(options_.rangeLogPath) + " ranges;\n";
  }
  for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
    config += std::string("  ") + kind + "_temp_path " +
              Literal(dir_.File(std::string("temp/") + kind)) + ";\n";
  }
  config += "  types {\n";
  for (const auto& [extension, type] : types) {
    config += "    " + Literal(type) + " " + Literal(extension) + ";\n";
  }
  config += "  }\n  default_type application/octet-stream;\n";
  // Location headers exactly as configured: no scheme, host and port added.
  config += "  absolute_redirect off;\n";
  config += "  geo $pellmarsh_dollar {\n    default \"$\";\n  }\n";
  config += options_.httpConfig;
  config +=
      "  server {\n    listen " + options_.listenAddress + ":" + std::to_string(port_) + ";\n";
  if (!options_.tlsCertificate.empty()) {
    config += "    listen " + options_.listenAddress + ":" + std::to_string(tlsPort_) + " ssl;\n";
    config += "    ssl_certificate " + Literal(options_.tlsCertificate) + ";\n";
    config += "    ssl_certificate_key " + Literal(options_.tlsKey) + ";\n";
    // This nginx's own default stops at 1.2; servers today offer 1.3.
    config += "    ssl_protocols TLSv1.2 TLSv1.3;\n";
  }
  config += "    root " + Literal(root_) + ";\n";
  config += "    location = " + Literal(kReadyPath) + " {\n      return 200 " +
            Literal(readyToken_) + ";\n    }\n";
  for (const BasicAuth& area : options_.basicAuth) {
    // ^~ keeps any regular-expression location in extraConfig from bypassing it.
    config += "    location ^~ " + Literal(area.prefix) + " {\n" + AuthDirectives(area.prefix) +
              "    }\n";
  }
  for (const Redirect& redirect : options_.redirects) {
    config += "    location = " + Literal(redirect.path) + " {\n      return " +
              std::to_string(redirect.status) + " " + Expanded(WithOrigins(redirect.location)) +
              ";\n    }\n";
  }
  for (const ContentType& entry : options_.contentTypes) {
    if (!entry.match.starts_with(".")) {
      // An exact location would bypass a protecting prefix, so it repeats its rules.
      config += "    location = " + Literal(entry.match) + " {\n      types {\n      }\n" +
                "      default_type " + Literal(entry.type) + ";\n" + AuthDirectives(entry.match) +
                "    }\n";
    }
  }
  config += options_.extraConfig;
  config += "\n  }\n}\n";
  return config;
}

bool NginxServer::AnswersReadyProbe() const {
  constexpr auto kProbeTimeout = std::chrono::milliseconds(500);
  LoopbackSocket socket = ListensOnIPv6() ? ConnectLoopbackIPv6(port_, kProbeTimeout)
                                          : ConnectLoopback(port_, kProbeTimeout);
  if (!socket.valid() || !socket.Send(std::string("GET ") + kReadyPath + " HTTP/1.0\r\n\r\n",
                                      std::chrono::milliseconds(500))) {
    return false;
  }
  const std::optional<std::string> reply = socket.ReceiveUntilClosed(std::chrono::seconds(2));
  // The token tells our nginx from anything else that may hold the port.
  return reply && reply->starts_with("HTTP/1.1 200") && reply->ends_with("\r\n\r\n" + readyToken_);
}

::testing::AssertionResult NginxServer::Start() {
  std::filesystem::create_directories(root_);
  std::filesystem::create_directories(dir_.File("temp"));
  for (size_t index = 0; index < options_.basicAuth.size(); ++index) {
    const BasicAuth& area = options_.basicAuth[index];
    WriteFile(dir_.File("users-" + std::to_string(index)),
              area.user + ":{PLAIN}" + area.password + "\n");
  }

  std::string config;
  std::string problem;
  for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
    port_ = PickFreePort(ListensOnIPv6());
    tlsPort_ = 0;
    while (!options_.tlsCertificate.empty() && (tlsPort_ == 0 || tlsPort_ == port_)) {
      tlsPort_ = PickFreePort(ListensOnIPv6());
    }
    config = Config();
    WriteFile(dir_.File("nginx.conf"), config);
    std::filesystem::remove(dir_.File("error.log"));
    if (!process_.Start({kNginx, "-p", dir_.path() + "/", "-c", dir_.File("nginx.conf"), "-e",
                         dir_.File("error.log")},
                        dir_.File("nginx.out"))) {
      return ::testing::AssertionFailure() << process_.error();
    }
    bool ready = false;
    WaitFor([&] { return !process_.Running() || (ready = AnswersReadyProbe()); }, kStartTimeout);
    if (ready) {
      return ::testing::AssertionSuccess();
    }
    const bool ended = !process_.Running();
    process_.Stop();
    problem = ended ? process_.ExitDescription() : "no answer within the deadline";
    if (ErrorLog().find("Address already in use") == std::string::npos) {
      break;
    }
  }
  port_ = 0;
  return ::testing::AssertionFailure()
         << "nginx did not come up: " << problem << "\n--- nginx.conf ---\n"
         << config << "--- error.log ---\n"
         << ErrorLog() << "--- output ---\n"
         << ReadFile(dir_.File("nginx.out"));
}

}  // namespace pellmarsh::testing
