#include "support/scripted_server.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/wait.h"

namespace pellmarsh::testing {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

TEST(ScriptedServerTest, ReplaysItsStepsAndRecordsTheExactLines) {
  ScriptedServer server({ScriptedServer::Script()
                             .Send("220-Hello\r\n220 ready\r")
                             .Pause(20ms)
                             .Send("\n")
                             .ExpectLine("USER anonymous")
                             .ExpectLine("PASS a@b")
                             .Send("230 in\r\n")
                             .ExpectClosed()});
  LoopbackSocket client = ConnectLoopback(server.port());
  EXPECT_EQ(client.ReceiveUntil("220 ready\r\n"), "220-Hello\r\n220 ready\r\n");
  ASSERT_TRUE(client.Send("USER anonymous\r\nPASS a@b\n"));
  EXPECT_EQ(client.ReceiveLine(), "230 in");
  client.Close();

  ASSERT_TRUE(server.WaitUntilDone());
  EXPECT_EQ(server.Failures(), Lines());
  EXPECT_EQ(server.Lines(), (Lines{"USER anonymous", "PASS a@b"}));
}

TEST(ScriptedServerTest, AWrongLineOrASilentClientIsRecordedNotThrown) {
  ScriptedServer server({ScriptedServer::Script().ExpectLine("USER a").Send("331 go on\r\n"),
                         ScriptedServer::Script().ExpectLine("QUIT")},
                        200ms);
  LoopbackSocket first = ConnectLoopback(server.port());
  ASSERT_TRUE(first.Send("USER b\r\n"));
  EXPECT_EQ(first.ReceiveLine(), "331 go on");  // The script goes on after a wrong line.
  first.Close();
  LoopbackSocket second = ConnectLoopback(server.port());
  ASSERT_TRUE(second.Send("QU"));

  ASSERT_TRUE(server.WaitUntilDone());
  EXPECT_EQ(server.Failures(),
            (Lines{"connection 1, step 1 (expect line \"USER a\"): received \"USER b\"",
                   "connection 2, step 1 (expect line \"QUIT\"): timed out, received \"QU\""}));
  EXPECT_EQ(server.Lines(), (Lines{"USER b", "QU"}));
}

TEST(ScriptedServerTest, ServesConnectionsInOrderAndReportsOnesBeyondTheScripts) {
  ScriptedServer server(
      {ScriptedServer::Script()
           .ReadUntil("\r\n\r\n")
           .Send("HTTP/1.0 302 Found\r\nLocation: /b\r\n\r\n"),
       ScriptedServer::Script().ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\r\n\r\nbody").Reset()});
  for (const char* path : {"/a", "/b"}) {
    LoopbackSocket client = ConnectLoopback(server.port());
    ASSERT_TRUE(client.Send(std::string("GET ") + path + " HTTP/1.0\r\nHost: h\r\n\r\n"));
    if (path == std::string("/a")) {
      EXPECT_EQ(client.ReceiveUntilClosed(), "HTTP/1.0 302 Found\r\nLocation: /b\r\n\r\n");
    } else {
      EXPECT_EQ(client.ReceiveUntil("body"), "HTTP/1.0 200 OK\r\n\r\nbody");
      EXPECT_EQ(client.ReceiveUntilClosed(), std::nullopt);
      EXPECT_EQ(client.error(), "recv: Connection reset by peer");
    }
  }
  ASSERT_TRUE(server.WaitUntilDone());
  EXPECT_EQ(server.Lines(0), (Lines{"GET /a HTTP/1.0", "Host: h", ""}));
  EXPECT_EQ(server.Lines(1), (Lines{"GET /b HTTP/1.0", "Host: h", ""}));

  LoopbackSocket extra = ConnectLoopback(server.port());
  EXPECT_EQ(extra.ReceiveUntilClosed(), "");
  EXPECT_TRUE(WaitFor([&] { return !server.Failures().empty(); }, 5s));
  EXPECT_EQ(server.Failures(), Lines{"connection 3: a connection no script was left for"});
  EXPECT_EQ(server.ConnectionsAccepted(), 3u);
}

TEST(ScriptedServerTest, ConnectsBackToTheAddressInAPortOrEprtCommand) {
  for (const bool extended : {false, true}) {
    SCOPED_TRACE(extended ? "EPRT" : "PORT");
    ScriptedServer server({ScriptedServer::Script()
                               .ReadLine()
                               .ConnectBackAndSend("file bytes")
                               .Send("226 done\r\n")});
    LoopbackSocket listener = ListenLoopback();
    const uint16_t port = listener.LocalPort();
    const std::string command = extended ? "EPRT |1|127.0.0.1|" + std::to_string(port) + "|"
                                         : "PORT 127,0,0,1," + std::to_string(port / 256) + "," +
                                               std::to_string(port % 256);
    LoopbackSocket control = ConnectLoopback(server.port());
    ASSERT_TRUE(control.Send(command + "\r\n"));
    LoopbackSocket data = listener.Accept();
    ASSERT_TRUE(data.valid());
    EXPECT_EQ(data.ReceiveUntilClosed(), "file bytes");
    EXPECT_EQ(control.ReceiveLine(), "226 done");
    control.Close();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.Failures(), Lines());
    EXPECT_EQ(server.Lines(), Lines{command});
  }
}

TEST(ScriptedServerTest, StopsAtOnceWhileAStepWaitsForTheClient) {
  auto server = std::make_unique<ScriptedServer>(
      std::vector<ScriptedServer::Script>{ScriptedServer::Script().ExpectLine("never sent")}, 60s);
  LoopbackSocket client = ConnectLoopback(server->port());
  ASSERT_TRUE(WaitFor([&] { return server->ConnectionsAccepted() == 1; }, 5s));
  const auto start = std::chrono::steady_clock::now();
  server.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

}  // namespace
}  // namespace pellmarsh::testing
