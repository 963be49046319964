#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <optional>
#include <utility>

namespace pellmarsh::testing {
namespace {

// Control characters shown, so that a failure message tells CR from LF.
std::string Visible(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02x", static_cast<unsigned>(c));
      text += escaped;
    } else {
      text += c;
    }
  }
  return text;
}

std::optional<unsigned> Number(std::string_view text, unsigned max) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > max) {
    return std::nullopt;
  }
  return value;
}

struct DataAddress {
  uint32_t address;  // Host byte order.
  uint16_t port;
};

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string_view::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// "PORT 127,0,0,1,4,1" or "EPRT |1|127.0.0.1|1025|".
std::optional<DataAddress> ParseDataAddress(std::string_view line) {
  if (line.size() < 5) {
    return std::nullopt;
  }
  std::string verb(line.substr(0, 5));
  for (char& c : verb) {
    c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  const std::string_view argument = line.substr(5);
  if (verb == "PORT ") {
    const std::vector<std::string_view> parts = Split(argument, ',');
    if (parts.size() != 6) {
      return std::nullopt;
    }
    unsigned values[6];
    for (size_t index = 0; index < 6; ++index) {
      const std::optional<unsigned> value = Number(parts[index], 255);
      if (!value) {
        return std::nullopt;
      }
      values[index] = *value;
    }
    return DataAddress{(values[0] << 24) | (values[1] << 16) | (values[2] << 8) | values[3],
                       static_cast<uint16_t>((values[4] << 8) | values[5])};
  }
  if (verb == "EPRT " && !argument.empty()) {
    const std::vector<std::string_view> parts = Split(argument, argument.front());
    in_addr address{};
    const std::optional<unsigned> port = parts.size() == 5 ? Number(parts[3], 65535) : std::nullopt;
    if (!port || parts[1] != "1" ||
        ::inet_pton(AF_INET, std::string(parts[2]).c_str(), &address) != 1) {
      return std::nullopt;
    }
    return DataAddress{ntohl(address.s_addr), static_cast<uint16_t>(*port)};
  }
  return std::nullopt;
}

std::string Describe(std::string_view kind, std::string_view text) {
  return std::string(kind) + (text.empty() ? "" : " \"" + Visible(text) + "\"");
}

}  // namespace

ScriptedServer::Script& ScriptedServer::Script::Add(Kind kind, std::string text,
                                                    std::chrono::milliseconds duration) {
  steps_.push_back(Step{kind, std::move(text), duration, {}});
  return *this;
}

ScriptedServer::Script& ScriptedServer::Script::Send(std::string bytes) {
  return Add(Kind::kSend, std::move(bytes));
}
ScriptedServer::Script& ScriptedServer::Script::ExpectLine(std::string line) {
  return Add(Kind::kExpectLine, std::move(line));
}
ScriptedServer::Script& ScriptedServer::Script::ReadLine() {
  return Add(Kind::kReadLine);
}
ScriptedServer::Script& ScriptedServer::Script::ReadUntil(std::string marker) {
  return Add(Kind::kReadUntil, std::move(marker));
}
ScriptedServer::Script& ScriptedServer::Script::Pause(std::chrono::milliseconds duration) {
  return Add(Kind::kPause, "", duration);
}
ScriptedServer::Script& ScriptedServer::Script::ConnectBackAndSend(std::string bytes) {
  return Add(Kind::kConnectBackAndSend, std::move(bytes));
}
ScriptedServer::Script& ScriptedServer::Script::OfferPassiveAndSend(std::string reply,
                                                                    std::string bytes) {
  Add(Kind::kOfferPassiveAndSend, std::move(bytes));
  steps_.back().reply = std::move(reply);
  return *this;
}
ScriptedServer::Script& ScriptedServer::Script::ExpectClosed() {
  return Add(Kind::kExpectClosed);
}
ScriptedServer::Script& ScriptedServer::Script::Close() {
  return Add(Kind::kClose);
}
ScriptedServer::Script& ScriptedServer::Script::Reset() {
  return Add(Kind::kReset);
}

ScriptedServer::ScriptedServer(std::vector<Script> scripts, std::chrono::milliseconds stepTimeout)
    : scripts_(std::move(scripts)), stepTimeout_(stepTimeout), listener_(ListenLoopback()) {
  int fds[2];
  if (!listener_.valid() || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    ADD_FAILURE() << "the scripted server cannot listen on 127.0.0.1";
    done_ = true;
    return;
  }
  stopRead_ = fds[0];
  stopWrite_ = fds[1];
  port_ = listener_.LocalPort();
  listener_.SetCancelFd(stopRead_);
  done_ = scripts_.empty();
  thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
  if (thread_.joinable()) {
    const char stop = 's';
    [[maybe_unused]] const ssize_t written = ::write(stopWrite_, &stop, 1);
    thread_.join();
  }
  for (const int fd : {stopRead_, stopWrite_}) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
}

std::vector<std::string> ScriptedServer::Lines() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> all;
  for (const std::vector<std::string>& connection : lines_) {
    all.insert(all.end(), connection.begin(), connection.end());
  }
  return all;
}

std::vector<std::string> ScriptedServer::Lines(size_t connection) const {
  std::lock_guard lock(mutex_);
  return connection < lines_.size() ? lines_[connection] : std::vector<std::string>();
}

std::vector<std::string> ScriptedServer::Failures() const {
  std::lock_guard lock(mutex_);
  return failures_;
}

size_t ScriptedServer::ConnectionsAccepted() const {
  std::lock_guard lock(mutex_);
  return lines_.size();
}

bool ScriptedServer::WaitUntilDone(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done_; });
}

void ScriptedServer::Serve() {
  for (size_t connection = 0;; ++connection) {
    // The stop signal, not a deadline, ends the wait for the next connection.
    LoopbackSocket socket = listener_.Accept(std::chrono::hours(24));
    if (!socket.valid()) {
      if (listener_.error() != "stopped") {
        Fail(connection, 0, nullptr, "accepting: " + listener_.error());
      }
      return;
    }
    socket.SetCancelFd(stopRead_);
    {
      std::lock_guard lock(mutex_);
      lines_.emplace_back();
    }
    if (connection >= scripts_.size()) {
      Fail(connection, 0, nullptr, "a connection no script was left for");
      socket.Close();
      continue;
    }
    Play(connection, scripts_[connection], socket);
    if (connection + 1 == scripts_.size()) {
      std::lock_guard lock(mutex_);
      done_ = true;
      changed_.notify_all();
    }
  }
}

void ScriptedServer::Play(size_t connection, const Script& script, LoopbackSocket& socket) {
  using Kind = Script::Kind;
  for (size_t index = 0; index < script.steps_.size(); ++index) {
    const Script::Step& step = script.steps_[index];
    auto fail = [&](const std::string& problem) { Fail(connection, index, &step, problem); };
    switch (step.kind) {
      case Kind::kSend:
        if (!socket.Send(step.text, stepTimeout_)) {
          fail(socket.error());
          socket.Close();
          return;
        }
        break;
      case Kind::kExpectLine:
      case Kind::kReadLine: {
        const std::optional<std::string> line = socket.ReceiveLine(stepTimeout_);
        if (!line) {
          const std::string partial = socket.TakeBuffered();
          RecordLines(connection, partial);
          fail(socket.error() + (partial.empty() ? "" : ", received \"" + Visible(partial) + "\""));
          socket.Close();
          return;
        }
        RecordLine(connection, *line);
        if (step.kind == Kind::kExpectLine && *line != step.text) {
          fail("received \"" + Visible(*line) + "\"");
        }
        break;
      }
      case Kind::kReadUntil: {
        const std::optional<std::string> bytes = socket.ReceiveUntil(step.text, stepTimeout_);
        if (!bytes) {
          const std::string partial = socket.TakeBuffered();
          RecordLines(connection, partial);
          fail(socket.error() + ", received \"" + Visible(partial) + "\"");
          socket.Close();
          return;
        }
        RecordLines(connection, *bytes);
        break;
      }
      case Kind::kPause:
        if (!PauseFor(step.duration)) {
          return;
        }
        break;
      case Kind::kConnectBackAndSend: {
        std::string problem;
        if (!SendToDataPort(connection, step.text, problem)) {
          fail(problem);
        }
        break;
      }
      case Kind::kOfferPassiveAndSend: {
        std::string problem;
        if (!OfferPassiveAndSend(socket, step, problem)) {
          fail(problem);
        }
        break;
      }
      case Kind::kExpectClosed: {
        const std::optional<std::string> rest = socket.ReceiveUntilClosed(stepTimeout_);
        const std::string received = rest ? *rest : socket.TakeBuffered();
        RecordLines(connection, received);
        if (!rest || !received.empty()) {
          fail((rest ? std::string("closed") : socket.error()) +
               (received.empty() ? "" : " after \"" + Visible(received) + "\""));
        }
        socket.Close();
        return;
      }
      case Kind::kClose:
        CloseOrderly(connection, socket);
        return;
      case Kind::kReset:
        socket.Reset();
        return;
    }
  }
  CloseOrderly(connection, socket);
}

// Closing with unread input would make the system send a reset that can
// destroy the last reply before the client reads it, so the server closes its
// side first and reads what comes until the client closes too.
void ScriptedServer::CloseOrderly(size_t connection, LoopbackSocket& socket) {
  socket.ShutdownWrite();
  const std::optional<std::string> rest = socket.ReceiveUntilClosed(stepTimeout_);
  RecordLines(connection, rest ? *rest : socket.TakeBuffered());
  socket.Close();
}

bool ScriptedServer::PauseFor(std::chrono::milliseconds duration) const {
  pollfd stop{stopRead_, POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + duration;
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return true;
    }
    const int count = ::poll(&stop, 1, static_cast<int>(left.count()));
    if (count > 0) {
      return false;
    }
  }
}

bool ScriptedServer::SendToDataPort(size_t connection, const std::string& bytes,
                                    std::string& problem) {
  std::string last;
  {
    std::lock_guard lock(mutex_);
    if (!lines_[connection].empty()) {
      last = lines_[connection].back();
    }
  }
  const std::optional<DataAddress> target = ParseDataAddress(last);
  if (!target) {
    problem = "no PORT or EPRT address in \"" + Visible(last) + "\"";
    return false;
  }
  LoopbackSocket data = ConnectLoopback(target->address, target->port, stepTimeout_);
  if (!data.valid()) {
    problem = "cannot connect to the data port of \"" + Visible(last) + "\"";
    return false;
  }
  data.SetCancelFd(stopRead_);
  if (!data.Send(bytes, stepTimeout_)) {
    problem = "data connection: " + data.error();
    return false;
  }
  return true;
}

bool ScriptedServer::OfferPassiveAndSend(LoopbackSocket& control, const Script::Step& step,
                                         std::string& problem) {
  LoopbackSocket listener = ListenLoopback();
  if (!listener.valid()) {
    problem = "cannot listen for a data connection";
    return false;
  }
  listener.SetCancelFd(stopRead_);
  const uint16_t port = listener.LocalPort();
  std::string reply = step.reply;
  for (const auto& [placeholder, text] :
       {std::pair<std::string, std::string>{"{port}", std::to_string(port)},
        {"{p1,p2}", std::to_string(port >> 8) + "," + std::to_string(port & 0xFF)}}) {
    if (const size_t at = reply.find(placeholder); at != std::string::npos) {
      reply.replace(at, placeholder.size(), text);
    }
  }
  if (!control.Send(reply, stepTimeout_)) {
    problem = control.error();
    return false;
  }
  LoopbackSocket data = listener.Accept(stepTimeout_);
  if (!data.valid()) {
    problem = "no data connection: " + listener.error();
    return false;
  }
  data.SetCancelFd(stopRead_);
  if (!data.Send(step.text, stepTimeout_)) {
    problem = "data connection: " + data.error();
    return false;
  }
  return true;
}

void ScriptedServer::RecordLine(size_t connection, std::string line) {
  std::lock_guard lock(mutex_);
  lines_[connection].push_back(std::move(line));
}

void ScriptedServer::RecordLines(size_t connection, std::string_view bytes) {
  std::lock_guard lock(mutex_);
  std::vector<std::string>& lines = lines_[connection];
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (end != std::string_view::npos && line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    lines.emplace_back(line);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
  }
}

void ScriptedServer::Fail(size_t connection, size_t step, const Script::Step* what,
                          const std::string& problem) {
  static constexpr const char* kNames[] = {"send",
                                           "expect line",
                                           "read line",
                                           "read until",
                                           "pause",
                                           "connect back and send",
                                           "offer passive and send",
                                           "expect closed",
                                           "close",
                                           "reset"};
  std::string text = "connection " + std::to_string(connection + 1);
  if (what) {
    text += ", step " + std::to_string(step + 1) + " (" +
            Describe(kNames[static_cast<int>(what->kind)], what->text) + ")";
  }
  std::lock_guard lock(mutex_);
  failures_.push_back(text + ": " + problem);
}

}  // namespace pellmarsh::testing
