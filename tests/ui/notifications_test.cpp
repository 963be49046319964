// Desktop notifications of ended downloads against a private session bus with
// a stand-in notification service and file manager, over real downloads from nginx.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUrl>
#include <QWidget>
#include <chrono>
#include <cstdlib>

#include "notify/download_notices.h"
#include "support/child_process.h"
#include "support/nginx_server.h"
#include "support/private_bus.h"
#include "support/wait.h"
#include "window_fixture.h"

namespace pellmarsh {
namespace {

QStringList Warnings;

// Every warning but the offscreen platform's own about showing windows.
void RecordWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtDebugMsg && type != QtInfoMsg && !message.contains("propagateSizeHints")) {
    Warnings << message;
  }
}

}  // namespace

class NotificationsTest : public QObject {
  Q_OBJECT

 private:
  // The stand-in's records of one kind of call, in order.
  QList<QJsonObject> Calls(const QString& call) {
    QList<QJsonObject> calls;
    for (const QString& line : QString::fromStdString(testing::ReadFile(busLog)).split('\n')) {
      const QJsonObject record = QJsonDocument::fromJson(line.toUtf8()).object();
      if (record["call"] == call) {
        calls << record;
      }
    }
    return calls;
  }

  void Steer(const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.pellmarsh.test.NotificationStandIn", method);
    message.setArguments(arguments);
    QDBusConnection::sessionBus().call(message);
  }

  // The window with downloads queued from nginx, behind another window, as
  // when the user works elsewhere.
  void StartBehindAnotherWindow(const QStringList& paths) {
    fixture = std::make_unique<testing::WindowFixture>();
    fixture->WriteStartedBefore([&](Item& root) {
      for (const QString& path : paths) {
        testing::AddQueuedUrl(root, nginx->Url(path.toStdString()),
                              fixture->dir.File(path.mid(1).toStdString()));
      }
    });
    QVERIFY(fixture->Start({[] { return false; }}));
    QTRY_VERIFY(fixture->window->isActiveWindow());
    elsewhere = std::make_unique<QWidget>();
    elsewhere->show();
    elsewhere->activateWindow();
    QTRY_VERIFY(!fixture->window->isActiveWindow());
  }

  testing::TempDir busDir;
  std::string busLog;
  testing::ChildProcess bus;
  testing::ChildProcess services;
  std::unique_ptr<testing::NginxServer> nginx;
  std::unique_ptr<testing::WindowFixture> fixture;
  std::unique_ptr<QWidget> elsewhere;

 private slots:
  void initTestCase() {
    QVERIFY(testing::StartPrivateBus(bus, busDir, "DBUS_SESSION_BUS_ADDRESS"));
    busLog = busDir.File("calls.log");
    QVERIFY(services.Start({"/usr/bin/python3", PELLMARSH_NOTIFICATION_SERVICE, busLog},
                           busDir.File("services.out")));
    QVERIFY2(testing::WaitFor(
                 [&] { return testing::ReadFile(busLog).find("ready") != std::string::npos; },
                 std::chrono::seconds(20)),
             testing::ReadFile(busDir.File("services.out")).c_str());
    nginx = std::make_unique<testing::NginxServer>();
    QVERIFY(static_cast<bool>(nginx->Start()));
    nginx->AddFile("/night&day.bin", std::string(20000, 'n'));
    for (const char* name : {"/1.bin", "/2.bin", "/3.bin", "/4.bin", "/5.bin", "/6.bin"}) {
      nginx->AddFile(name, "small");
    }
  }

  void cleanup() {
    elsewhere.reset();
    fixture.reset();
    testing::WriteFile(busLog, "");
  }

  void aFinishedDownloadIsToldWithItsActions_data() {
    QTest::addColumn<bool>("actions");
    QTest::newRow("a service with actions and markup") << true;
    QTest::newRow("a plain service") << false;
  }

  void aFinishedDownloadIsToldWithItsActions() {
    QFETCH(bool, actions);
    Steer("SetCapabilities",
          {actions ? QStringList{"actions", "body", "body-markup"} : QStringList{"body"}});
    StartBehindAnotherWindow({"/night&day.bin"});
    QTRY_COMPARE_WITH_TIMEOUT(Calls("Notify").size(), 1, 20000);
    const QJsonObject notify = Calls("Notify")[0];
    QCOMPARE(notify["app_name"].toString(), QString("Pellmarsh"));
    QCOMPARE(notify["hints"].toObject()["desktop-entry"].toString(), QString("pellmarsh"));
    QCOMPARE(notify["summary"].toString(), QString("Download complete"));
    QCOMPARE(notify["body"].toString(),
             QString(actions ? "night&amp;day.bin\n20.0 kB" : "night&day.bin\n20.0 kB"));
    const QStringList offered =
        actions ? QStringList{"open", "Open", "show", "Show in Folder"} : QStringList{};
    QCOMPARE(notify["actions"].toArray().toVariantList(), QVariant(offered).toList());
    if (actions) {
      Steer("InvokeAction", {uint(notify["id"].toInt()), "show"});
      QTRY_COMPARE_WITH_TIMEOUT(Calls("ShowItems").size(), 1, 10000);
      const QString file = QString::fromStdString(fixture->dir.File("night&day.bin"));
      QCOMPARE(Calls("ShowItems")[0]["uris"].toArray().toVariantList(),
               QVariantList{QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)});
    }
  }

  void manyEndingTogetherAreOneSummaryAndAFailureIsToldApart() {
    StartBehindAnotherWindow(
        {"/1.bin", "/2.bin", "/3.bin", "/missing.bin", "/4.bin", "/5.bin", "/6.bin"});
    QTRY_COMPARE_WITH_TIMEOUT(Calls("Notify").size(), 2, 20000);
    QCOMPARE(Calls("Notify")[0]["summary"].toString(), QString("6 downloads complete"));
    QCOMPARE(Calls("Notify")[0]["actions"].toArray().size(), 0);
    QCOMPARE(Calls("Notify")[1]["summary"].toString(), QString("Download failed"));
    QCOMPARE(Calls("Notify")[1]["body"].toString(),
             QString("missing.bin\nFailure: HTTP/1.1 404 Not Found"));
  }

  // Last: the service is gone for good.
  void withoutAServiceNothingIsShownOrLogged() {
    services.Stop();
    qInstallMessageHandler(RecordWarnings);
    StartBehindAnotherWindow({"/1.bin"});
    QTRY_COMPARE_WITH_TIMEOUT(fixture->Status(*fixture->app->tree().With([](Item& root) {
      return root.FindChild(folder::kFileList)->ChildAt(0);
    })),
                              int(kStatusComplete), 20000);
    // Nothing to poll for: the batch is let fall due and its calls answered.
    QTest::qWait(int(DownloadNotices::kQuietMs) + 1000);
    qInstallMessageHandler(nullptr);
    QCOMPARE(Warnings, QStringList());
    QCOMPARE(Calls("Notify").size(), 0);
  }

  void cleanupTestCase() {
    nginx.reset();
    services.Stop();
    bus.Stop();
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::NotificationsTest)
#include "notifications_test.moc"
