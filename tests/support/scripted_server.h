#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_socket.h"

namespace pellmarsh::testing {

// A loopback TCP server on a thread of its own for what real servers will not
// do on demand (a reply split anywhere, a multi-line greeting, a 421, a data
// port never connected). It plays one script to each connection it accepts, in
// order, and records every line it receives so a test can assert the exact
// commands. Every wait has a deadline; nothing it meets is thrown: what differs
// from the script is recorded in Failures().
//
//   ScriptedServer server({ScriptedServer::Script()
//                              .Send("220-Hello\r\n220 ready\r")
//                              .Pause(std::chrono::milliseconds(20))
//                              .Send("\n")
//                              .ExpectLine("USER anonymous")
//                              .Send("421 Too busy\r\n")});
//   ... point the client at server.port() and run it ...
//   ASSERT_TRUE(server.WaitUntilDone());
//   EXPECT_EQ(server.Failures(), std::vector<std::string>());
//   EXPECT_EQ(server.Lines(), std::vector<std::string>{"USER anonymous"});
class ScriptedServer {
 public:
  // The steps for one connection. After the last one the server closes its
  // side and records whatever the client still sends until it closes too.
  class Script {
   public:
    Script& Send(std::string bytes);
    // Reads one line (LF or CR LF ends it) and records it; another text is a
    // failure, and the script goes on.
    Script& ExpectLine(std::string line);
    // Reads and records one line, whatever it says.
    Script& ReadLine();
    // Reads through marker ("\r\n\r\n" after a request head) and records each
    // line of it, the empty line that ends a head included.
    Script& ReadUntil(std::string marker);
    // Waits before the next step. Between two sends it makes it very likely,
    // not certain, that the client receives them apart (a CR and its LF in two
    // receives): a correct reader copes with any split, so a pause serves to
    // exercise splits, never to prove that the client waited.
    Script& Pause(std::chrono::milliseconds duration);
    // Connects to the address of the last line received, an FTP
    // "PORT h1,h2,h3,h4,p1,p2" or "EPRT |1|address|port|" (loopback only),
    // sends bytes there and closes that data connection.
    Script& ConnectBackAndSend(std::string bytes);
    // Listens on a free loopback port, sends `reply` with "{port}" replaced by
    // that port and "{p1,p2}" by its two bytes as a PASV reply gives them,
    // accepts one data connection, sends bytes there and closes it.
    Script& OfferPassiveAndSend(std::string reply, std::string bytes);
    // Waits until the client closes; anything it sends first is a failure.
    Script& ExpectClosed();
    // Ends the connection here with an orderly close.
    Script& Close();
    // Ends the connection here with a reset (RST).
    Script& Reset();

   private:
    friend class ScriptedServer;
    enum class Kind {
      kSend,
      kExpectLine,
      kReadLine,
      kReadUntil,
      kPause,
      kConnectBackAndSend,
      kOfferPassiveAndSend,
      kExpectClosed,
      kClose,
      kReset
    };
    struct Step {
      Kind kind;
      std::string text;
      std::chrono::milliseconds duration{0};
      std::string reply;  // a passive offer's reply
    };
    Script& Add(Kind kind, std::string text = "", std::chrono::milliseconds duration = {});
    std::vector<Step> steps_;
  };

  // Listens on 127.0.0.1 on a free port at once. Connections beyond the last
  // script are closed as soon as they are accepted and count as failures.
  // stepTimeout bounds each step that waits for the client.
  explicit ScriptedServer(std::vector<Script> scripts,
                          std::chrono::milliseconds stepTimeout = kPeerTimeout);
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;
  // Ends any wait at once and joins the thread.
  ~ScriptedServer();

  uint16_t port() const { return port_; }
  // Every line received, connection after connection, without line ends.
  std::vector<std::string> Lines() const;
  // The lines of one connection, 0 being the first accepted.
  std::vector<std::string> Lines(size_t connection) const;
  // Each difference from the scripts, as "connection 1, step 3 (expect line
  // "USER a"): received "USER b"".
  std::vector<std::string> Failures() const;
  size_t ConnectionsAccepted() const;
  // Waits until every script has run to its end; false if timeout passed first.
  bool WaitUntilDone(std::chrono::milliseconds timeout = kPeerTimeout) const;

 private:
  void Serve();
  void Play(size_t connection, const Script& script, LoopbackSocket& socket);
  void RecordLine(size_t connection, std::string line);
  // Records the lines of bytes; a last piece without its LF counts as a line.
  void RecordLines(size_t connection, std::string_view bytes);
  void Fail(size_t connection, size_t step, const Script::Step* what, const std::string& problem);
  void CloseOrderly(size_t connection, LoopbackSocket& socket);
  bool PauseFor(std::chrono::milliseconds duration) const;
  bool SendToDataPort(size_t connection, const std::string& bytes, std::string& problem);
  bool OfferPassiveAndSend(LoopbackSocket& control, const Script::Step& step, std::string& problem);

  const std::vector<Script> scripts_;
  const std::chrono::milliseconds stepTimeout_;
  LoopbackSocket listener_;
  uint16_t port_ = 0;
  int stopRead_ = -1;  // Readable once the destructor runs: every wait ends.
  int stopWrite_ = -1;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::vector<std::string>> lines_;
  std::vector<std::string> failures_;
  bool done_ = false;

  std::thread thread_;  // Declared last: starts once everything above exists.
};

}  // namespace pellmarsh::testing
