#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <ostream>

#include "store/item_status.h"
#include "store/keys.h"
#include "store/number_text.h"
#include "store/tree_codec.h"
#include "support/app_harness.h"
#include "support/ftp_server.h"
#include "support/loopback_socket.h"
#include "support/random_bytes.h"
#include "support/scripted_server.h"
#include "support/wait.h"
#include "transfer/session/session_harness.h"
#include "url/ftp_data_memory.h"
#include "url/host_defaults.h"

namespace pellmarsh {

// Parameterised tests name their mode, not its bytes.
void PrintTo(FtpDataMode mode, std::ostream* out) {
  *out << (mode == FtpDataMode::kActiveOnly ? "active only" : "passive, then active");
}

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using Script = testing::ScriptedServer::Script;

constexpr uint32_t kMinuteAndABit = 60'001;

// The port of a "PORT h1,h2,h3,h4,p1,p2" line.
uint16_t DataPort(const std::string& portLine) {
  const size_t last = portLine.rfind(',');
  const size_t before = portLine.rfind(',', last - 1);
  return static_cast<uint16_t>(ParseLeadingInteger(portLine.substr(before + 1)) * 256 +
                               ParseLeadingInteger(portLine.substr(last + 1)));
}

// What follows a "230": the directory asked for, then binary type.
Script& AfterLogIn(Script& script) {
  return script.ExpectLine("PWD").Send("257 \"/\"\r\n").ExpectLine("TYPE I").Send("200 Binary\r\n");
}

Script& LogIn(Script& script) {
  return AfterLogIn(script.Send("220 ready\r\n")
                        .ExpectLine("USER tester")
                        .Send("331 Password please\r\n")
                        .ExpectLine("PASS secret")
                        .Send("230 In\r\n"));
}

constexpr const char* kEpsvReply = "229 Entering Extended Passive Mode (|||{port}|)\r\n";

// The mode's data command answered and `data` sent at once: EPSV and a
// passive port, or PORT and a connection back to it.
Script& OpenData(Script& script, FtpDataMode mode, const std::string& data) {
  if (mode != FtpDataMode::kActiveOnly) {
    return script.ExpectLine("EPSV").OfferPassiveAndSend(kEpsvReply, data);
  }
  return script.ReadLine().ConnectBackAndSend(data).Send("200 PORT ok\r\n");
}

// The mode's data command answered; no data comes.
Script& AcceptDataCommand(Script& script, FtpDataMode mode) {
  if (mode != FtpDataMode::kActiveOnly) {
    return script.ExpectLine("EPSV").OfferPassiveAndSend(kEpsvReply, "");
  }
  return script.ReadLine().Send("200 ok\r\n");
}

// The data command, the data sent at once, then `command`, a preliminary reply and 226.
Script& Retrieve(Script& script, FtpDataMode mode, const std::string& command,
                 const std::string& data, const std::string& preliminary = "150 Opening") {
  return OpenData(script, mode, data)
      .ExpectLine(command)
      .Send(preliminary + "\r\n226 Done\r\n")
      .ExpectClosed();
}

// Logged in, PORT taken and RETR /f.bin answered with 150; the data connection
// is left to the test, and no final reply follows.
Script& UpToTheDataConnection(Script& script) {
  LogIn(script).ReadLine().Send("200 ok\r\n").ExpectLine("RETR /f.bin");
  return script.Send("150 Opening\r\n").ExpectClosed();
}

class FtpTransferTest : public testing::SessionHarness {
 protected:
  void UseMode(FtpDataMode mode) {
    Tree::Access access(tree);
    access->SetPropEnum(setting::kFtpMode, mode);
  }
  // What the host defaults remember of the scripted servers' host.
  std::string Remembered() {
    Tree::Access access(tree);
    return RememberedFtpDataCommand(access.root(), "127.0.0.1");
  }
  void Remember(const std::string& command) {
    Tree::Access access(tree);
    HostDefaults(access.root())
        .FindOrCreateChild("127.0.0.1")
        .SetProp(key::kFtpDataCommand, command);
  }

  Item& FtpItem(uint16_t port, const std::string& path, const std::string& local,
                const std::string& password = "secret") {
    Item& item = NewItem("ftp://127.0.0.1:" + std::to_string(port) + path, local);
    item.SetProp(key::kLogin, "tester");
    item.SetProp(key::kPassword, password);
    return item;
  }

  // The log's commands without their CR LF, the data port left out.
  static Lines Commands(const Item& item) {
    Lines commands;
    for (std::string text : LogTexts(item)) {
      if (text.starts_with("Send Line: ")) {
        text = text.substr(11, text.size() - 13);
        commands.push_back(text.starts_with("PORT 127,0,0,1,") ? "PORT" : text);
      } else if (text.starts_with("PASS ")) {
        commands.push_back(text);
      }
    }
    return commands;
  }

  // Steps until `done` holds (or, without one, until the session ends), for at
  // most ten seconds of real time; true when it came about.
  static bool StepUntil(TransferSession& session, const std::function<bool()>& done = {}) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (done && done()) {
        return true;
      }
      if (!session.Step()) {
        return !done;
      }
    }
    return false;
  }

  // Runs a session against one script and stops it; the server must have seen
  // exactly what the script expects.
  Item& RunScripted(Script script, const std::string& path,
                    const std::function<void(Item&)>& prepare = {}) {
    testing::ScriptedServer server({std::move(script)});
    Item& item = FtpItem(server.port(), path, dir.File("out"));
    if (prepare) {
      prepare(item);
    }
    auto session = Session(item);
    EXPECT_TRUE(StepUntil(*session)) << item.GetProp(key::kLog);
    session.reset();
    EXPECT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.Failures(), Lines());
    return item;
  }
};

// What every data mode must do alike: passive (the default) and active only.
class FtpEveryModeTest : public FtpTransferTest, public ::testing::WithParamInterface<FtpDataMode> {
 protected:
  FtpEveryModeTest() { UseMode(GetParam()); }
  FtpDataMode mode() const { return GetParam(); }
  std::string DataCommand() const { return mode() == FtpDataMode::kActiveOnly ? "PORT" : "EPSV"; }
};

std::string ModeName(const ::testing::TestParamInfo<FtpDataMode>& info) {
  return info.param == FtpDataMode::kActiveOnly ? "ActiveOnly" : "PassiveThenActive";
}

INSTANTIATE_TEST_SUITE_P(, FtpEveryModeTest,
                         ::testing::Values(FtpDataMode::kPassiveThenActive,
                                           FtpDataMode::kActiveOnly),
                         ModeName);

// What only an active data connection meets: a port of our own to accept on.
class FtpActiveTest : public FtpTransferTest {
 protected:
  FtpActiveTest() { UseMode(FtpDataMode::kActiveOnly); }
};

TEST_P(FtpEveryModeTest, ARealServerDeliversFilesResumesListingsAndRefusals) {
  testing::FtpServer::Options options;
  options.anonymous = true;
  testing::FtpServer ftp(options);
  ASSERT_TRUE(ftp.Start());
  const std::string data = testing::RandomBytes(300'000, 8);
  ftp.AddFile("/pub/data.bin", data);
  ftp.AddFile("/pub/a.txt", "a");
  const struct {
    const char* what;
    const char* path;
    const char* login;
    const char* password;
    size_t onDisk;
    ItemStatus status;
    std::string error;
    std::string saved;
    Lines lastCommands;
    int wasindex;
  } rows[] = {
      // clang-format off
      {"a whole file", "/pub/data.bin", "tester", "secret", 0, kStatusComplete, "", data,
       {"USER tester", "PASS  (concealed)", "PWD", "TYPE I", DataCommand(), "RETR /pub/data.bin"}, 0},
      {"the rest after 5,000 bytes on disk", "/pub/data.bin", "tester", "secret", 5000, kStatusComplete, "", data,
       {DataCommand(), "REST 5000", "RETR /pub/data.bin"}, 0},
      {"a directory, as text, for anonymous", "/pub/", "anonymous", "guest@example.com", 0, kStatusComplete, "",
       "a.txt\ndata.bin\n", {"NLST /pub"}, 1},
      {"the top directory", "", "anonymous", "guest@example.com", 0, kStatusComplete, "", "pub\n", {"NLST "}, 1},
      {"a wrong password", "/a.bin", "tester", "wrong", 0, kStatusWaitingToRetry,
       "FTP Login Failure: 530 Authentication failed.", "", {"PASS  (concealed)"}, 0},
      {"a missing file, in every form", "/pub/none.bin", "tester", "secret", 0, kStatusFailed,
       "FTP Error: 550 No such file or directory.", "",
       {"RETR /pub/none.bin", "RETR pub/none.bin", "NLST pub/none.bin/*"}, 1},
      // clang-format on
  };
  int index = 0;
  for (const auto& row : rows) {
    const std::string local = dir.File(std::to_string(++index));
    testing::WriteFile(Unfinished(local), data.substr(0, row.onDisk));
    Item& item = FtpItem(ftp.port(), row.path, local, row.password);
    item.SetProp(key::kLogin, row.login);
    item.SetPropInt(key::kResume, row.onDisk > 0 ? 1 : 0);
    auto session = Session(item);
    ASSERT_TRUE(StepUntil(*session)) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.status) << row.what;
    EXPECT_EQ(item.GetProp(key::kError), row.error) << row.what;
    EXPECT_EQ(events.raised.back(), row.status == kStatusComplete         ? "COMPLETE"
                                    : row.status == kStatusWaitingToRetry ? "FAIL"
                                                                          : "BROKEN")
        << row.what;
    if (row.status == kStatusComplete) {
      EXPECT_TRUE(testing::ReadFile(local) == row.saved) << row.what;
      // A listing arrives with CR LF line ends and is saved with LF.
      const auto lineEnds = row.wasindex ? std::count(row.saved.begin(), row.saved.end(), '\n') : 0;
      EXPECT_EQ(item.GetPropInt64(key::kReceivedSession),
                int64_t(row.saved.size() + lineEnds - row.onDisk))
          << row.what;
    }
    EXPECT_EQ(item.GetPropInt(key::kWasIndex), row.wasindex) << row.what;
    const Lines commands = Commands(item);
    ASSERT_GE(commands.size(), row.lastCommands.size()) << row.what;
    EXPECT_EQ(Lines(commands.end() - row.lastCommands.size(), commands.end()), row.lastCommands)
        << row.what;
    EXPECT_EQ(item.GetProp(key::kLog).find("secret"), std::string::npos) << row.what;
    const Lines texts = LogTexts(item);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "FTP Directory Mode.  Forcing TEXT."),
              row.wasindex)
        << row.what;
  }
  // A host that takes the first data command needs no entry.
  Tree::Access access(tree);
  EXPECT_EQ(FindHostDefaults(access.root(), "127.0.0.1"), nullptr);
}

TEST_P(FtpEveryModeTest, DialoguesOfEveryShapeEndInTheWholeFile) {
  const std::string data(2048, 'd');
  Script splitGreeting;
  splitGreeting.Send("220-Welcome\r\n220-to the")
      .Pause(20ms)
      .Send(" test\r\n220 ready\r")
      .Pause(20ms)
      .Send("\n")
      .ExpectLine("USER tester")
      .Send("331 Pass")
      .Pause(20ms)
      .Send("word please\r\n")
      .ExpectLine("PASS secret")
      .Send("230 In\r\n");
  AfterLogIn(splitGreeting);
  Retrieve(splitGreeting, mode(), "RETR /f.bin", data,
           "150 Opening (192.168.0.1,4,1) (2048 bytes)");
  Script noPassword;
  noPassword.Send("220 ready\r\n").ExpectLine("USER tester").Send("230 No password needed\r\n");
  AfterLogIn(noPassword);
  Retrieve(noPassword, mode(), "RETR /f.bin", data);
  // Both replies in one receive: each command must still go out.
  Script eagerServer;
  eagerServer.Send("220 ready\r\n331 Password please\r\n")
      .ExpectLine("USER tester")
      .ExpectLine("PASS secret")
      .Send("230 In\r\n257 \"/\"\r\n")
      .ExpectLine("PWD")
      .ExpectLine("TYPE I")
      .Send("200 Binary\r\n");
  Retrieve(eagerServer, mode(), "RETR /f.bin", data);
  Script wildcard;
  Retrieve(LogIn(wildcard), mode(), "NLST /pub/*.txt", data);

  const struct {
    const char* what;
    Script script;
    const char* path;
    int64_t size;
    int wasindex;
  } rows[] = {
      {"a multi-line greeting and replies in pieces", splitGreeting, "/f.bin", 2048, 0},
      {"230 straight after USER", noPassword, "/f.bin", 0, 0},
      {"replies that arrive before their commands are sent", eagerServer, "/f.bin", 0, 0},
      // A listing is written as text: its size is what reached the file.
      {"a wildcard listing", wildcard, "/pub/*.txt", 2048, 1},
  };
  for (const auto& row : rows) {
    Item& item = RunScripted(row.script, row.path);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete)
        << row.what << ": " << item.GetProp(key::kError);
    EXPECT_EQ(testing::ReadFile(dir.File("out")), data) << row.what;
    EXPECT_EQ(item.GetPropInt64(key::kSize), row.size) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kWasIndex), row.wasindex) << row.what;
    const Lines commands = Commands(item);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "USER tester"), 1) << row.what;
  }
}

// The local file's bytes at [offset, offset + count).
std::string ReadAt(const std::string& path, int64_t offset, size_t count) {
  std::string bytes(count, '\0');
  const int fd = ::open(path.c_str(), O_RDONLY);
  const ssize_t got = ::pread(fd, bytes.data(), count, offset);
  ::close(fd);
  bytes.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return bytes;
}

TEST_P(FtpEveryModeTest, AResumeWritesWhereTheServerAgreedToRestart) {
  const std::string data = "new bytes";
  const struct {
    const char* what;
    int64_t onDisk;
    const char* restReply;
    int64_t writtenAt;
  } rows[] = {
      {"REST accepted: after the 5,000 bytes on disk", 5000, "350 Restarting", 5000},
      {"REST refused: from the start", 5000, "502 No restarts", 0},
      {"REST beyond 4 GiB", 5LL << 30, "350 Restarting", 5LL << 30},
  };
  for (const auto& row : rows) {
    const std::string rest = "REST " + std::to_string(row.onDisk);
    Script script;
    OpenData(LogIn(script), mode(), data).ExpectLine(rest);
    script.Send(std::string(row.restReply) + "\r\n")
        .ExpectLine("RETR /f.bin")
        .Send("150 Opening\r\n226 Done\r\n")
        .ExpectClosed();
    Item& item = RunScripted(script, "/f.bin", [&](Item& item) {
      const int fd = ::open(UnfinishedFileOf(item).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ASSERT_EQ(::ftruncate(fd, row.onDisk), 0);
      ::close(fd);
      item.SetPropInt(key::kResume, 1);
    });
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete)
        << row.what << ": " << item.GetProp(key::kError);
    struct stat info {};
    const std::string local = item.GetProp(key::kLocal);
    ::stat(local.c_str(), &info);
    EXPECT_EQ(info.st_size, row.writtenAt + int64_t(data.size())) << row.what;
    EXPECT_EQ(ReadAt(local, row.writtenAt, data.size()), data) << row.what;
    EXPECT_EQ(item.GetPropInt64(key::kReceived), row.writtenAt + int64_t(data.size())) << row.what;
  }
}

TEST_P(FtpEveryModeTest, RefusalsAndHangUpsFailWithTheirOutcome) {
  Script greeting421, user421, port421, retrieve421, pwd550, hangUp, abortedData, escaped;
  greeting421.Send("421 Too busy\r\n").ExpectClosed();
  user421.Send("220 ready\r\n").ExpectLine("USER tester").Send("421 Bye\r\n").ExpectClosed();
  LogIn(port421).ReadLine().Send("421 Bye\r\n").ExpectClosed();
  AcceptDataCommand(LogIn(retrieve421), mode()).ReadLine().Send("421 Bye\r\n").ExpectClosed();
  pwd550.Send("220 ready\r\n").ExpectLine("USER tester").Send("230 In\r\n");
  pwd550.ExpectLine("PWD").Send("550 No PWD here\r\n").ExpectClosed();
  hangUp.Send("220 ready\r\n").ExpectLine("USER tester").Close();
  OpenData(LogIn(abortedData), mode(), "half");
  abortedData.ExpectLine("RETR /f.bin")
      .Send("150 Opening\r\n451 Failure reading local file.\r\n")
      .ExpectClosed();
  AcceptDataCommand(LogIn(escaped), mode());
  for (const char* command :
       {"RETR /a%20b.zip", "RETR a%20b.zip", "RETR /a b.zip", "RETR a b.zip", "NLST a b.zip/*"}) {
    escaped.ExpectLine(command).Send("550 No\r\n");
  }
  escaped.ExpectClosed();

  const struct {
    const char* what;
    Script script;
    const char* path;
    const char* error;
    ItemStatus status;
  } rows[] = {
      {"421 as the greeting", greeting421, "/f.bin", "FTP Failure: 421 Too busy",
       kStatusWaitingToRetry},
      {"421 to USER", user421, "/f.bin", "FTP Failure: 421 Bye", kStatusWaitingToRetry},
      {"421 to the data command", port421, "/f.bin", "FTP Failure: 421 Bye", kStatusWaitingToRetry},
      {"421 to RETR", retrieve421, "/f.bin", "FTP Failure: 421 Bye", kStatusWaitingToRetry},
      {"550 to PWD", pwd550, "/f.bin", "FTP Error: 550 No PWD here", kStatusFailed},
      {"a hang-up in the dialogue", hangUp, "/f.bin", "FTP Command Channel Closed Prematurely",
       kStatusWaitingToRetry},
      {"a transfer the server gave up", abortedData, "/f.bin",
       "FTP Failure: 451 Failure reading local file.", kStatusWaitingToRetry},
      {"an escaped path refused in every form", escaped, "/a%20b.zip", "FTP Error: 550 No",
       kStatusFailed},
  };
  for (const auto& row : rows) {
    Item& item = RunScripted(row.script, row.path);
    EXPECT_EQ(item.GetProp(key::kError), row.error) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.status) << row.what;
  }
  // The abandoned transfer's bytes stay for a resume (no later row writes any).
  EXPECT_EQ(testing::ReadFile(Unfinished(dir.File("out"))), "half");
}

TEST_F(FtpTransferTest, PassiveFallsBackOnlyOnRefusalsAndTheHostRemembersWhatWorked) {
  const std::string data = "data";
  const auto retrieve = [](Script& script) -> Script& {
    return script.ExpectLine("RETR /f.bin").Send("150 Opening\r\n226 Done\r\n").ExpectClosed();
  };
  const auto pasv = [&](Script& script, const std::string& address) -> Script& {
    script.ExpectLine("PASV").OfferPassiveAndSend(
        "227 Entering Passive Mode (" + address + ",{p1,p2})\r\n", data);
    return retrieve(script);
  };
  const auto port = [&](Script& script) -> Script& {
    return retrieve(script.ReadLine().ConnectBackAndSend(data).Send("200 PORT ok\r\n"));
  };
  Script noEpsv, noPassive, noActive, noPort, elsewhere, bothRefused, busy;
  pasv(LogIn(noEpsv).ExpectLine("EPSV").Send("500 EPSV not understood\r\n"), "127,0,0,1");
  LogIn(noPassive).ExpectLine("EPSV").Send("502 Not implemented\r\n");
  port(noPassive.ExpectLine("PASV").Send("502 Not implemented\r\n"));
  // A host remembered for PORT that has since stopped taking it.
  LogIn(noActive).ReadLine().Send("500 PORT not understood\r\n");
  retrieve(OpenData(noActive, FtpDataMode::kPassiveOnly, data));
  pasv(LogIn(noPort).ExpectLine("EPSV").Send("229 Entering Extended Passive Mode\r\n"),
       "127,0,0,1");
  pasv(LogIn(elsewhere).ExpectLine("EPSV").Send("500 ?\r\n"), "10,9,8,7");
  LogIn(bothRefused).ExpectLine("EPSV").Send("502 No\r\n").ExpectLine("PASV");
  bothRefused.Send("502 No\r\n").ExpectClosed();
  LogIn(busy).ExpectLine("EPSV").Send("425 No passive port free\r\n").ExpectClosed();
  // Nothing listens on the port offered: no RETR goes out.
  const uint16_t closedPort = testing::ListenLoopback().LocalPort();
  Script deadPort;
  LogIn(deadPort).ExpectLine("EPSV");
  deadPort.Send("229 Entering Extended Passive Mode (|||" + std::to_string(closedPort) + "|)\r\n")
      .ExpectClosed();

  const struct {
    const char* what;
    Script script;
    FtpDataMode mode;
    const char* rememberedBefore;
    ItemStatus status;
    const char* error;
    const char* rememberedAfter;
    std::string logged;
  } rows[] = {
      {"EPSV not understood: PASV, remembered", noEpsv, FtpDataMode::kPassiveThenActive, "",
       kStatusComplete, "", "PASV", "EPSV refused; trying PASV."},
      {"EPSV and PASV not implemented: PORT, remembered", noPassive,
       FtpDataMode::kPassiveThenActive, "", kStatusComplete, "", "PORT",
       "PASV refused; trying PORT."},
      {"PORT remembered, now refused: passive again", noActive, FtpDataMode::kPassiveThenActive,
       "PORT", kStatusComplete, "", "EPSV", "Using PORT first: it worked with this host before."},
      {"an EPSV reply without a port: PASV", noPort, FtpDataMode::kPassiveThenActive, "",
       kStatusComplete, "", "PASV", "EPSV gave no port; trying PASV."},
      {"a PASV reply naming another host: data from the server's address", elsewhere,
       FtpDataMode::kPassiveThenActive, "", kStatusComplete, "", "PASV",
       "Ignored the address 10.9.8.7 in the PASV reply: the data channel goes to the FTP "
       "server's address."},
      {"passive only: no PORT after both are refused", bothRefused, FtpDataMode::kPassiveOnly, "",
       kStatusFailed, "FTP Error: 502 No", "", "EPSV refused; trying PASV."},
      {"a 4xx is no refusal of EPSV itself", busy, FtpDataMode::kPassiveThenActive, "",
       kStatusWaitingToRetry, "FTP Failure: 425 No passive port free", "",
       "Recv Line: 425 No passive port free"},
      {"a passive port nobody listens on: retried later", deadPort, FtpDataMode::kPassiveThenActive,
       "", kStatusWaitingToRetry, "Could not connect FTP data channel: Connection Refused by Host",
       "", "Connecting FTP data channel to 127.0.0.1, port " + std::to_string(closedPort)},
  };
  for (const auto& row : rows) {
    UseMode(row.mode);
    Remember(row.rememberedBefore);
    Item& item = RunScripted(row.script, "/f.bin");
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.status) << row.what;
    EXPECT_EQ(item.GetProp(key::kError), row.error) << row.what;
    EXPECT_EQ(Remembered(), row.rememberedAfter) << row.what;
    const Lines texts = LogTexts(item);
    EXPECT_NE(std::find(texts.begin(), texts.end(), row.logged), texts.end())
        << row.what << ":\n"
        << item.GetProp(key::kLog);
    if (row.status == kStatusComplete) {
      EXPECT_EQ(testing::ReadFile(dir.File("out")), data) << row.what;
      const std::string connecting = "Connecting FTP data channel to 127.0.0.1, port ";
      EXPECT_EQ(
          std::count_if(texts.begin(), texts.end(),
                        [&](const std::string& text) { return text.starts_with(connecting); }),
          std::string(row.rememberedAfter) == "PORT" ? 0 : 1)
          << row.what;
    }
  }

  // The next transfer from the host asks what worked last at once.
  Script straightToPasv;
  pasv(LogIn(straightToPasv), "127,0,0,1");
  Remember("PASV");
  Item& item = RunScripted(straightToPasv, "/f.bin");
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
}

TEST_F(FtpActiveTest, AMinuteOfSilenceEndsEveryWait) {
  Script noGreeting, noDataConnection;
  noGreeting.ExpectClosed();
  UpToTheDataConnection(noDataConnection);
  const struct {
    const char* what;
    Script script;
    std::string_view waiting;
    const char* error;
  } rows[] = {
      {"no greeting", noGreeting, "FtpGreeting", "FTP Command Channel Timeout"},
      {"no data connection", noDataConnection, "FtpDataWait",
       "FTP Timeout Waiting for data Channel"},
  };
  for (const auto& row : rows) {
    testing::ScriptedServer server({row.script});
    Item& item = FtpItem(server.port(), "/f.bin", dir.File("out"));
    auto session = Session(item);
    ASSERT_TRUE(StepUntil(*session, [&] { return session->stateName() == row.waiting; }))
        << row.what;
    clock.tick += kMinuteAndABit - 2;
    session->Step();
    EXPECT_EQ(session->stateName(), row.waiting) << row.what << ": a minute is not up yet";
    clock.tick += 2;
    StepUntil(*session);
    EXPECT_EQ(item.GetProp(key::kError), row.error) << row.what;
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry) << row.what;
    session.reset();
    EXPECT_TRUE(server.WaitUntilDone()) << row.what;
    EXPECT_EQ(server.Failures(), Lines()) << row.what;
  }
}

TEST_F(FtpTransferTest, AReplyDrippedOutForMoreThanTwoMinutesIsGivenUp) {
  // The test serves the lines itself, each only after the clock has moved.
  testing::LoopbackSocket listener = testing::ListenLoopback();
  Item& item = FtpItem(listener.LocalPort(), "/f.bin", dir.File("out"));
  auto session = Session(item);
  ASSERT_TRUE(StepUntil(*session, [&] { return session->stateName() == "FtpGreeting"; }));
  testing::LoopbackSocket server = listener.Accept();
  ASSERT_TRUE(server.valid()) << listener.error();
  const auto logged = [&](int line) {
    const Lines texts = LogTexts(item);
    const std::string text = "Recv Line: 220-Line " + std::to_string(line);
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  };
  // Never silent for a minute, but the reply is not whole two minutes after it began.
  for (int line = 0; line < 4; ++line) {
    ASSERT_TRUE(server.Send("220-Line " + std::to_string(line) + "\r\n"));
    ASSERT_TRUE(StepUntil(*session, [&] {
      return logged(line) || item.GetPropInt(key::kStatus) != kStatusStarting;
    }));
    clock.tick += 50'000;
  }
  EXPECT_EQ(item.GetProp(key::kError), "Receive Error: Timed Out");
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry);
  EXPECT_TRUE(logged(2));
  EXPECT_FALSE(logged(3));
}

TEST_F(FtpTransferTest, AReplyFloodIsBoundedInTheReplyAndInTheLog) {
  std::string manyReplies;
  while (manyReplies.size() < 2 * LogBudget::kLimitBytes) {
    manyReplies += "120 Service ready in a moment\r\n";
  }
  std::string endlessReply = "220-Welcome\r\n";
  while (endlessReply.size() < 300 * 1024) {
    endlessReply += "220-" + std::string(60, 'w') + "\r\n";
  }
  const struct {
    const char* what;
    Script script;
    const char* error;
  } rows[] = {
      {"replies without end", Script().Send(manyReplies).Close(),
       "FTP Command Channel Closed Prematurely"},
      {"a multi-line reply without end", Script().Send(endlessReply).Close(),
       "FTP Command Channel Reply Too Long"},
  };
  for (const auto& row : rows) {
    Item& item = RunScripted(row.script, "/f.bin");
    EXPECT_EQ(item.GetProp(key::kError), row.error) << row.what;
    EXPECT_LE(item.GetProp(key::kLog).size(), LogBudget::kLimitBytes + 200) << row.what;
    EXPECT_EQ(LogTexts(item).back(), row.error) << row.what;
  }
}

TEST_P(FtpEveryModeTest, AWholeFileCompletesWhenOnlyTheFinalReplyIsMissing) {
  const auto upToTheData = [this](const std::string& preliminary) {
    Script script;
    OpenData(LogIn(script), mode(), "data");
    return script.ExpectLine("RETR /f.bin").Send(preliminary + "\r\n");
  };
  const struct {
    const char* what;
    Script script;
    bool silent;
    ItemStatus status;
    const char* error;
  } rows[] = {
      {"the size arrived, then a close", upToTheData("150 Opening (4 bytes)").Close(), false,
       kStatusComplete, ""},
      {"the size arrived, then silence", upToTheData("150 Opening (4 bytes)").ExpectClosed(), true,
       kStatusComplete, ""},
      {"less than the size, then a close", upToTheData("150 Opening (9 bytes)").Close(), false,
       kStatusWaitingToRetry, "FTP Command Channel Closed Prematurely"},
      {"no size, then a close", upToTheData("150 Opening").Close(), false, kStatusWaitingToRetry,
       "FTP Command Channel Closed Prematurely"},
  };
  for (const auto& row : rows) {
    testing::ScriptedServer server({row.script});
    Item& item = FtpItem(server.port(), "/f.bin", dir.File("out"));
    auto session = Session(item);
    if (row.silent) {
      const std::string commands = "read from " + std::to_string(server.port());
      ASSERT_TRUE(StepUntil(*session, [&] {
        return item.GetPropInt64(key::kReceived) == 4 && WaitOf(*session) == commands;
      })) << row.what;
      clock.tick += kMinuteAndABit;
    }
    StepUntil(*session);
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.status) << row.what;
    EXPECT_EQ(item.GetProp(key::kError), row.error) << row.what;
    EXPECT_EQ(testing::ReadFile(dir.File("out")), "data") << row.what;
    session.reset();
    EXPECT_TRUE(server.WaitUntilDone()) << row.what;
  }
}

// A blocking connection to 127.0.0.1:port from `source`; invalid when the
// system will not bind that source.
TcpSocket ConnectFrom(uint32_t source, uint16_t port) {
  TcpSocket socket;
  if (socket.Create() != 0 || socket.Bind({source, 0}) != 0 ||
      socket.Connect({INADDR_LOOPBACK, port}) != 0) {
    socket.Close();
  }
  return socket;
}

TEST_F(FtpActiveTest, OnlyTheServerMayConnectToTheDataPortAndItMustNotStall) {
  Script script;
  testing::ScriptedServer server({UpToTheDataConnection(script)});
  Item& item = FtpItem(server.port(), "/f.bin", dir.File("out"));
  auto session = Session(item);
  ASSERT_TRUE(StepUntil(*session, [&] { return session->stateName() == "FtpDataWait"; }));
  const Lines seen = server.Lines();
  const auto portLine = std::find_if(
      seen.begin(), seen.end(), [](const std::string& line) { return line.starts_with("PORT "); });
  ASSERT_NE(portLine, seen.end());
  const uint16_t dataPort = DataPort(*portLine);

  TcpSocket intruder = ConnectFrom(0x7F000002, dataPort);
  if (!intruder.valid()) {
    GTEST_SKIP() << "this system will not connect from 127.0.0.2";
  }
  const std::string refusal =
      "Refused a data connection from 127.0.0.2: not the FTP server's address.";
  ASSERT_TRUE(StepUntil(*session, [&] {
    const Lines texts = LogTexts(item);
    return std::find(texts.begin(), texts.end(), refusal) != texts.end();
  }));
  EXPECT_EQ(session->stateName(), "FtpDataWait");
  char byte;
  EXPECT_EQ(intruder.Receive(&byte, 1).count, 0u) << "the intruder was not cut off";

  TcpSocket genuine = ConnectFrom(INADDR_LOOPBACK, dataPort);
  ASSERT_TRUE(genuine.valid());
  genuine.Send("part");
  ASSERT_TRUE(StepUntil(*session, [&] { return item.GetPropInt64(key::kReceived) == 4; }));
  clock.tick += kMinuteAndABit;
  StepUntil(*session);
  EXPECT_EQ(item.GetProp(key::kError), "Receive Error: Timed Out");
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry);
  EXPECT_EQ(item.GetPropInt(key::kResume), 1);
  EXPECT_EQ(testing::ReadFile(Unfinished(dir.File("out"))), "part");
}

TEST_F(FtpActiveTest, EachStepWaitsOnItsSocketUpToAFinalReplyThatNeverComes) {
  Script script;
  testing::ScriptedServer server({UpToTheDataConnection(script)});
  Item& item = FtpItem(server.port(), "/f.bin", dir.File("out"));
  auto session = Session(item);
  const std::string commands = "read from " + std::to_string(server.port());
  ASSERT_TRUE(StepUntil(*session, [&] { return session->stateName() == "FtpGreeting"; }));
  EXPECT_EQ(WaitOf(*session), commands);
  ASSERT_TRUE(StepUntil(*session, [&] { return session->stateName() == "FtpDataWait"; }));
  const std::string accept = WaitOf(*session);
  ASSERT_TRUE(accept.starts_with("accept on ")) << accept;

  TcpSocket data =
      ConnectFrom(INADDR_LOOPBACK, static_cast<uint16_t>(ParseLeadingInteger(accept.substr(10))));
  ASSERT_TRUE(data.valid());
  data.Send("part");
  ASSERT_TRUE(StepUntil(*session, [&] { return item.GetPropInt64(key::kReceived) == 4; }));
  SocketAddress dataEnd;
  data.LocalAddress(dataEnd);
  EXPECT_EQ(WaitOf(*session), "read from " + std::to_string(dataEnd.port));
  data.Close();
  ASSERT_TRUE(StepUntil(*session, [&] { return WaitOf(*session) == commands; }))
      << "after the data, the final reply";
  clock.tick += kMinuteAndABit;
  StepUntil(*session);
  EXPECT_EQ(item.GetProp(key::kError), "FTP Command Channel Timeout");
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry);
  EXPECT_EQ(testing::ReadFile(Unfinished(dir.File("out"))), "part");
}

// The program's own scheduler thread, from a URL queued in the data file to
// the file on disk and the completed item saved again; a data file without the
// setting, as older ones are, fetches passively.
class FtpEndToEnd : public ::testing::TestWithParam<FtpDataMode> {};

INSTANTIATE_TEST_SUITE_P(, FtpEndToEnd,
                         ::testing::Values(FtpDataMode::kPassiveThenActive,
                                           FtpDataMode::kActiveOnly),
                         ModeName);

TEST_P(FtpEndToEnd, AQueuedFtpUrlIsFetchedByTheSchedulerAndSaved) {
  testing::FtpServer ftp;
  ASSERT_TRUE(ftp.Start());
  const std::string data = testing::RandomBytes(3 * 1024 * 1024, 8);
  ftp.AddFile("/pub/big.bin", data);
  testing::AppHarness harness;
  {
    Item root;
    SetUpRootAndFolders(root, harness.dir.path());
    Item& item = root.FindByName("_filelist")->AddChild(std::make_unique<Item>());
    item.SetProp(key::kType, "_url");
    item.SetProp(key::kValue, "ftp://127.0.0.1:" + std::to_string(ftp.port()) + "/pub/big.bin");
    item.SetProp(key::kLocal, harness.dir.File("big.bin"));
    item.SetProp(key::kLogin, ftp.user());
    item.SetProp(key::kPassword, ftp.password());
    item.SetPropInt(key::kStatus, kStatusQueued);
    if (GetParam() == FtpDataMode::kActiveOnly) {
      root.SetPropEnum(setting::kFtpMode, GetParam());
    }
    testing::WriteFile(harness.dir.File("pmarsh.dat"), SaveTree(root));
  }
  App& app = harness.Start();
  const bool ended = testing::WaitFor(
      [&] {
        app.SaveIfRequested();
        Tree::Access tree(app.state().tree);
        return app.state().activeTransfers.empty() &&
               tree->FindByName("_filelist")->ChildAt(0)->GetPropInt(key::kStatus) ==
                   kStatusComplete;
      },
      30s);
  app.SaveIfRequested();
  harness.StopWorkers();
  const std::string log =
      app.tree().Lock()->FindByName("_filelist")->ChildAt(0)->GetProp(key::kLog);
  ASSERT_TRUE(ended) << log;
  EXPECT_NE(
      log.find(GetParam() == FtpDataMode::kActiveOnly ? "Send Line: PORT " : "Send Line: EPSV"),
      std::string::npos)
      << log;
  EXPECT_TRUE(testing::ReadFile(harness.dir.File("big.bin")) == data);
  Item saved;
  LoadTree(saved, testing::ReadFile(harness.dir.File("pmarsh.dat")));
  EXPECT_EQ(saved.FindByName("_filelist")->ChildAt(0)->GetPropInt(key::kStatus), kStatusComplete);
}

}  // namespace
}  // namespace pellmarsh
