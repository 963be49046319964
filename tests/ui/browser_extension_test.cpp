// The browser extension in a real headless Chromium, talking to the real
// program through its native-messaging host on a private session bus.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>
#include <chrono>
#include <csignal>
#include <filesystem>

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

class BrowserExtensionTest : public QObject {
  Q_OBJECT

 private:
  // The browser driver's one line of JSON, or its failure.
  std::string Drive(const std::string& action, const std::string& url) {
    const std::string profile = dir.File("profile-" + action);
    std::filesystem::create_directory(profile);
    testing::ChildProcess driver;
    const std::string output = dir.File("driver-" + action + ".out");
    if (!driver.Start({"/usr/bin/python3", PELLMARSH_BROWSER_DRIVER, PELLMARSH_EXTENSION_DIR,
                       profile, dir.File("native-host"), action, url},
                      output)) {
      return driver.error();
    }
    testing::WaitFor([&] { return !driver.Running(); }, 120s);
    return driver.ExitDescription() + ": " + testing::ReadFile(output);
  }

  // Drives `action` on a page of its own holding one link, to href.
  std::string OnPageLinking(const std::string& action, const std::string& page,
                            const std::string& href) {
    nginx.AddFile(page, "<html><body><a href=\"" + href + "\">the file</a></body></html>");
    return Drive(action, nginx.Url(page));
  }

  bool Downloaded(const std::string& name, const std::string& bytes) {
    return testing::DownloadedBeside(dir, name, bytes);
  }

  // The clicked files come slowly enough that the browser's own download is
  // still running when the extension pauses it. The report is only for a
  // browser logged in on the page that links to it, as many sites do.
  testing::NginxServer::Options SlowClickedFile() const {
    testing::NginxServer::Options options;
    options.rangeLogPath = dir.File("requests.log");
    options.extraConfig =
        "    location = /clicked.bin {\n      limit_rate 200k;\n    }\n"
        "    location = /login.html {\n"
        "      add_header Set-Cookie 'session=s3cret; Path=/; HttpOnly';\n    }\n"
        "    location = /members/get {\n      limit_rate 200k;\n"
        "      set $allowed '';\n"
        "      if ($http_cookie ~ 'session=s3cret') { set $allowed A; }\n"
        "      if ($http_referer ~ '/login.html$') { set $allowed \"${allowed}B\"; }\n"
        "      if ($allowed != AB) { return 403; }\n"
        "      add_header Content-Disposition "
        "\"attachment; filename*=UTF-8''Quarterly%20Report%20%E2%82%AC.pdf\";\n    }\n"
        // Served to the browser, which asks without a range, and refused to
        // Pellmarsh, which asks for one.
        "    location = /refused.bin {\n      limit_rate 200k;\n"
        "      if ($http_range) { return 403; }\n    }\n"
        // A signed link, refused once its token expired.
        "    location /signed/ {\n      limit_rate 200k;\n    }\n"
        "    location /signed/1/ {\n      limit_rate 200k;\n"
        "      if (-f $document_root/signed/1/expired) { return 403; }\n    }\n";
    return options;
  }

  static QDBusConnectionInterface& Bus() { return *QDBusConnection::sessionBus().interface(); }

  testing::TempDir busDir;
  testing::ChildProcess bus;
  testing::TempDir dir;
  // Slow enough that the browser's own download is still running when the
  // extension pauses it.
  testing::NginxServer nginx{SlowClickedFile()};

 private slots:
  void initTestCase() {
    QVERIFY(testing::StartPrivateBus(bus, busDir, "DBUS_SESSION_BUS_ADDRESS"));
    QVERIFY(static_cast<bool>(nginx.Start()));
    testing::CopyProgramWithFastDataFile(dir, PELLMARSH_PROGRAM);
    // What the package's wrapper does: the browser gives the host only its
    // caller's origin.
    testing::WriteFile(dir.File("native-host"), "#!/bin/sh\nexec \"" + dir.File("pellmarsh") +
                                                    "\" --native-messaging \"$@\"\n");
    std::filesystem::permissions(dir.File("native-host"), std::filesystem::perms::owner_all);
  }

  // No program runs: the host starts one and hands it the link.
  void aLinkSentFromTheExtensionStartsTheProgramAndArrives() {
    const std::string bytes = testing::RandomBytes(400000, 11);
    nginx.AddFile("/sent.bin", bytes);
    QVERIFY(!Bus().isServiceRegistered(kLinkServiceName));
    const std::string outcome = Drive("send", nginx.Url("/sent.bin"));
    QVERIFY2(outcome.find("\"ok\": true") != std::string::npos, outcome.c_str());
    QVERIFY(Bus().isServiceRegistered(kLinkServiceName));
    QVERIFY(Downloaded("sent.bin", bytes));
  }

  // A real click on a page's link: the browser's download is handed over and
  // cancelled, and the running program fetches the file.
  void aClickedDownloadIsTakenOver() {
    const std::string bytes = testing::RandomBytes(500000, 12);
    nginx.AddFile("/clicked.bin", bytes);
    const std::string outcome = OnPageLinking("click", "/page.html", "/clicked.bin");
    QVERIFY2(outcome.find("\"handedOver\": true") != std::string::npos, outcome.c_str());
    QVERIFY(Downloaded("clicked.bin", bytes));
    QVERIFY(!testing::FileExistsOnDisk(dir.File("profile-click/downloads/clicked.bin")));
  }

  // A download that needs the browser's session arrives under the server's
  // name, with the cookie the page set (HttpOnly) and the page as referrer.
  void aDownloadBehindALoginArrivesWithTheBrowsersSession() {
    const std::string bytes = testing::RandomBytes(500000, 13);
    // The link names a script: only the name the browser settles on says it is a PDF.
    nginx.AddFile("/members/get", bytes);
    const std::string outcome = OnPageLinking("click", "/login.html", "/members/get?id=7");
    QVERIFY2(outcome.find("\"handedOver\": true") != std::string::npos, outcome.c_str());
    QVERIFY(Downloaded("Quarterly Report \xe2\x82\xac.pdf", bytes));
  }

  // A listed site's downloads, and a link clicked with Shift held, stay in
  // the browser, and Pellmarsh gets nothing.
  void theUserKeepsADownloadInTheBrowserByItsSiteOrByShift() {
    const std::string bytes = testing::RandomBytes(300000, 14);
    nginx.AddFile("/kept.bin", bytes);
    for (const char* action : {"keep-listed", "keep-shift"}) {
      const std::string outcome = OnPageLinking(action, "/keep.html", "/kept.bin");
      QVERIFY2(outcome.find("\"keptInBrowser\": true") != std::string::npos, outcome.c_str());
      QCOMPARE(
          testing::ReadFile(dir.File(std::string("profile-") + action + "/downloads/kept.bin")),
          bytes);
    }
    QVERIFY(!testing::FileExistsOnDisk(dir.File("download/kept.bin")));
  }

  // The browser gives its own download up only once Pellmarsh's server sends
  // the file: a refusal gives it back, and the browser's download completes.
  void aDownloadPellmarshCannotGetStaysWithTheBrowser() {
    const std::string bytes = testing::RandomBytes(400000, 15);
    nginx.AddFile("/refused.bin", bytes);
    const std::string outcome = OnPageLinking("keep-refused", "/refuse.html", "/refused.bin");
    QVERIFY2(outcome.find("\"keptInBrowser\": true") != std::string::npos, outcome.c_str());
    QCOMPARE(testing::ReadFile(dir.File("profile-keep-refused/downloads/refused.bin")), bytes);
  }

  // A link that expires mid-download fails it for good; a fresh link clicked
  // in the page resumes that download where it stopped, with no second copy.
  void aFreshLinkResumesTheDownloadWhoseLinkExpired() {
    const std::string bytes = testing::RandomBytes(800000, 16);
    nginx.AddFile("/signed/1/report.bin", bytes);
    nginx.AddFile("/signed/2/report.bin", bytes);
    std::string outcome = OnPageLinking("click", "/old.html", "/signed/1/report.bin");
    QVERIFY2(outcome.find("\"handedOver\": true") != std::string::npos, outcome.c_str());
    const std::string part = dir.File("download/report.bin.part");
    QVERIFY(testing::WaitFor(
        [&] { return testing::FileExistsOnDisk(part) && testing::ReadFile(part).size() > 100000; },
        30s));
    // The token expires, and the cut connection's retry is refused.
    nginx.AddFile("/signed/1/expired", "");
    std::filesystem::resize_file(nginx.root() + "/signed/1/report.bin", 0);
    // Pellmarsh's requests, HTTP/1.0, asking from a byte past the first.
    const auto resumed = [&](const char* link) {
      const std::string log = testing::ReadFile(dir.File("requests.log"));
      const std::string asked = std::string("GET ") + link + " HTTP/1.0 range=bytes=";
      for (size_t at = log.find(asked); at != std::string::npos; at = log.find(asked, at + 1)) {
        if (log.compare(at + asked.size(), 2, "0-") != 0) {
          return true;
        }
      }
      return false;
    };
    QVERIFY(testing::WaitFor([&] { return resumed("/signed/1/report.bin"); }, 60s));

    outcome = OnPageLinking("click", "/new.html", "/signed/2/report.bin");
    QVERIFY2(outcome.find("\"handedOver\": true") != std::string::npos, outcome.c_str());
    QVERIFY(Downloaded("report.bin", bytes));
    QVERIFY(resumed("/signed/2/report.bin"));
    QVERIFY(!testing::FileExistsOnDisk(dir.File("download/report(1).bin")));
    QVERIFY(!testing::FileExistsOnDisk(dir.File("download/report(1).bin.part")));
  }

  // The program was started by the host, not by this test: end it by its bus name.
  void cleanupTestCase() {
    const QDBusReply<uint> pid = Bus().servicePid(kLinkServiceName);
    if (pid.isValid()) {
      ::kill(static_cast<pid_t>(pid.value()), SIGTERM);
      QTRY_VERIFY_WITH_TIMEOUT(!Bus().isServiceRegistered(kLinkServiceName), 20000);
    }
    bus.Stop();
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::BrowserExtensionTest)
#include "browser_extension_test.moc"
