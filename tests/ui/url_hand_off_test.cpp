// The real program on a private session bus, handed URLs by later starts of
// itself, as a file manager or a terminal would start it.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>
#include <chrono>

#include "capture/native_messaging_host.h"
#include "desktop/qt_link_service.h"
#include "support/child_process.h"
#include "support/nginx_server.h"
#include "support/private_bus.h"
#include "support/program_copy.h"
#include "support/random_bytes.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace pellmarsh {

using namespace std::chrono_literals;

class UrlHandOffTest : public QObject {
  Q_OBJECT

 private:
  // A later start of the program with these arguments, run to its end.
  struct Run {
    std::string exit;
    std::string output;
    std::chrono::milliseconds took;
  };
  Run RunAgain(const std::vector<std::string>& arguments, const std::string& name) {
    std::vector<std::string> argv = {dir.File("pellmarsh")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunToEnd(argv, name);
  }
  Run RunToEnd(const std::vector<std::string>& argv, const std::string& name) {
    testing::ChildProcess again;
    const auto start = std::chrono::steady_clock::now();
    if (!again.Start(argv, dir.File(name))) {
      return {again.error(), "", 0ms};
    }
    testing::WaitFor([&] { return !again.Running(); }, 30s);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return {again.ExitDescription(), testing::ReadFile(dir.File(name)), took};
  }

  bool Downloaded(const std::string& name, const std::string& bytes) {
    return testing::DownloadedBeside(dir, name, bytes);
  }

  testing::TempDir busDir;
  testing::ChildProcess bus;
  testing::TempDir dir;
  testing::NginxServer nginx;
  testing::ChildProcess running;

 private slots:
  void initTestCase() {
    QVERIFY(testing::StartPrivateBus(bus, busDir, "DBUS_SESSION_BUS_ADDRESS"));
    QVERIFY(static_cast<bool>(nginx.Start()));
    testing::CopyProgramWithFastDataFile(dir, PELLMARSH_PROGRAM);
  }

  // The first start takes its URL itself; the later ones hand theirs over
  // and end at once, a refused URL told without holding back the others.
  void laterStartsHandTheirUrlsToTheRunningProgram() {
    const std::string first = testing::RandomBytes(30000, 1);
    const std::string second = testing::RandomBytes(20000, 2);
    const std::string third = testing::RandomBytes(10000, 3);
    nginx.AddFile("/first.bin", first);
    nginx.AddFile("/second.bin", second);
    nginx.AddFile("/third.bin", third);
    QVERIFY(running.Start({dir.File("pellmarsh"), nginx.Url("/first.bin")}, dir.File("first.out")));
    QVERIFY2(Downloaded("first.bin", first), testing::ReadFile(dir.File("first.out")).c_str());
    QTRY_VERIFY_WITH_TIMEOUT(
        QDBusConnection::sessionBus().interface()->isServiceRegistered(kLinkServiceName), 20000);

    const Run handed = RunAgain({nginx.Url("/second.bin")}, "second.out");
    QCOMPARE(handed.exit, std::string("exited with status 0"));
    QVERIFY2(handed.took < 10s, std::to_string(handed.took.count()).c_str());
    QVERIFY(Downloaded("second.bin", second));

    const Run refused = RunAgain({"gopher://host/x", nginx.Url("/third.bin")}, "third.out");
    QCOMPARE(refused.exit, std::string("exited with status 2"));
    QVERIFY2(
        refused.output.find("gopher://host/x: Unsupported protocol: gopher") != std::string::npos,
        refused.output.c_str());
    QVERIFY(Downloaded("third.bin", third));

    const Run bare = RunAgain({}, "bare.out");
    QCOMPARE(bare.exit, std::string("exited with status 1"));
    QVERIFY2(bare.output.find("Pellmarsh is already running.") != std::string::npos,
             bare.output.c_str());
    QVERIFY(running.Running());
  }

  // What the browser does: its frame on the host's standard input, the
  // answer on its output, the link handed to the running program.
  void theBrowsersHostHandsItsLinksOver() {
    const std::string fourth = testing::RandomBytes(15000, 4);
    nginx.AddFile("/fourth.bin", fourth);
    const std::string message = "{\"urls\":[\"" + nginx.Url("/fourth.bin") + "\"]}";
    testing::WriteFile(dir.File("frame.in"), NativeFrame(message));
    const Run host = RunToEnd({"/bin/sh", "-c", "exec \"$0\" --native-messaging <\"$1\" >\"$2\"",
                               dir.File("pellmarsh"), dir.File("frame.in"), dir.File("frame.out")},
                              "host.err");
    QCOMPARE(host.exit, std::string("exited with status 0"));
    QCOMPARE(testing::ReadFile(dir.File("frame.out")), NativeFrame("{\"ok\":true,\"added\":1}"));
    QVERIFY(Downloaded("fourth.bin", fourth));
  }

  void cleanupTestCase() {
    running.Stop();
    bus.Stop();
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::UrlHandOffTest)
#include "url_hand_off_test.moc"
