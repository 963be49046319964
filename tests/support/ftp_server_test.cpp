#include "support/ftp_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "support/loopback_socket.h"

namespace pellmarsh::testing {
namespace {

// A bare control connection: whole replies, multi-line ones joined with "\n".
class Control {
 public:
  explicit Control(uint16_t port) : socket_(ConnectLoopback(port)) {}

  std::string Reply() {
    std::string reply;
    for (;;) {
      const std::optional<std::string> line = socket_.ReceiveLine();
      if (!line) {
        return reply + "(" + socket_.error() + ")";
      }
      reply += *line;
      if (line->size() >= 4 && (*line)[3] == ' ') {
        return reply;
      }
      reply += "\n";
    }
  }

  std::string Command(const std::string& command) {
    EXPECT_TRUE(socket_.Send(command + "\r\n")) << socket_.error();
    return Reply();
  }

  // Sends PORT for a fresh loopback listener, then command; what the server
  // sends over the data connection it opens.
  std::string Transfer(const std::string& command) {
    LoopbackSocket listener = ListenLoopback();
    const uint16_t port = listener.LocalPort();
    EXPECT_EQ(
        Command("PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256))
            .substr(0, 4),
        "200 ");
    // pyftpdlib connects as soon as it gets PORT, so it usually answers 125.
    const std::string preliminary = Command(command);
    EXPECT_TRUE(preliminary.starts_with("125 ") || preliminary.starts_with("150 ")) << preliminary;
    LoopbackSocket data = listener.Accept();
    EXPECT_TRUE(data.valid()) << "the server did not connect to the data port";
    const std::string bytes = data.ReceiveUntilClosed().value_or("(not closed)");
    EXPECT_EQ(Reply().substr(0, 4), "226 ");
    return bytes;
  }

 private:
  LoopbackSocket socket_;
};

TEST(FtpServerTest, LogsInAndAnswersPwdAndType) {
  FtpServer ftp;
  ASSERT_TRUE(ftp.Start());
  Control control(ftp.port());
  EXPECT_EQ(control.Reply().substr(0, 4), "220 ");
  EXPECT_EQ(control.Command("USER " + ftp.user()).substr(0, 4), "331 ");
  EXPECT_EQ(control.Command("PASS wrong").substr(0, 4), "530 ");
  EXPECT_EQ(control.Command("USER " + ftp.user()).substr(0, 4), "331 ");
  EXPECT_EQ(control.Command("PASS " + ftp.password()).substr(0, 4), "230 ");
  EXPECT_EQ(control.Command("PWD").substr(0, 8), "257 \"/\" ");
  EXPECT_EQ(control.Command("TYPE I").substr(0, 4), "200 ");
  EXPECT_EQ(control.Command("QUIT").substr(0, 4), "221 ");
}

TEST(FtpServerTest, SendsFilesAndNamesToTheClientsPortFromAnOffset) {
  FtpServer ftp;
  ASSERT_TRUE(ftp.Start());
  ftp.AddFile("/pub/digits.bin", "0123456789");
  ftp.AddFile("/pub/b.txt", "b");
  EXPECT_TRUE(std::filesystem::exists(ftp.root() + "/pub/digits.bin"));
  Control control(ftp.port());
  control.Reply();
  control.Command("USER " + ftp.user());
  ASSERT_EQ(control.Command("PASS " + ftp.password()).substr(0, 4), "230 ");
  control.Command("TYPE I");

  EXPECT_EQ(control.Transfer("RETR pub/digits.bin"), "0123456789");
  EXPECT_EQ(control.Command("REST 4").substr(0, 4), "350 ");
  EXPECT_EQ(control.Transfer("RETR pub/digits.bin"), "456789");

  std::string names = control.Transfer("NLST pub");
  EXPECT_TRUE(names == "b.txt\r\ndigits.bin\r\n" || names == "digits.bin\r\nb.txt\r\n") << names;
}

TEST(FtpServerTest, GreetsWithEveryBannerLineAndLetsAnonymousIn) {
  FtpServer::Options options;
  options.banner = "Welcome\nto the test";
  options.anonymous = true;
  FtpServer ftp(options);
  ASSERT_TRUE(ftp.Start());
  Control control(ftp.port());
  EXPECT_EQ(control.Reply(), "220-Welcome\n220 to the test");
  EXPECT_EQ(control.Command("USER anonymous").substr(0, 4), "331 ");
  EXPECT_EQ(control.Command("PASS guest@example.com").substr(0, 4), "230 ");
}

TEST(FtpServerTest, StoppingFreesThePortAndRemovesTheDirectory) {
  auto ftp = std::make_unique<FtpServer>();
  ASSERT_TRUE(ftp->Start());
  const uint16_t port = ftp->port();
  const std::string root = ftp->root();
  ftp.reset();
  EXPECT_FALSE(ConnectLoopback(port).valid());
  EXPECT_FALSE(std::filesystem::exists(root));
}

}  // namespace
}  // namespace pellmarsh::testing
