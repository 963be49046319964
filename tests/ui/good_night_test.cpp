// Good Night, the hold on a metered connection and the sleep inhibitor
// against a private system bus with stand-in NetworkManager and logind
// services, over real downloads from nginx.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <cstdlib>

#include "support/child_process.h"
#include "support/nginx_server.h"
#include "support/private_bus.h"
#include "support/random_bytes.h"
#include "support/wait.h"
#include "ui/auto_shutdown_dialog.h"
#include "window_fixture.h"

namespace pellmarsh {

class GoodNightTest : public QObject {
  Q_OBJECT

 private:
  // Eight active connections, five of them dial-up kinds.
  const QStringList kBusCallsOfAHangUp = {
      "deactivate /org/freedesktop/NetworkManager/ActiveConnection/8",
      "deactivate /org/freedesktop/NetworkManager/ActiveConnection/7",
      "deactivate /org/freedesktop/NetworkManager/ActiveConnection/5",
      "deactivate /org/freedesktop/NetworkManager/ActiveConnection/4",
      "deactivate /org/freedesktop/NetworkManager/ActiveConnection/2",
  };

  // The hang-ups and power-offs, or the sleep inhibitors taken and let go.
  QStringList BusCalls(bool inhibitors = false) {
    QStringList lines =
        QString::fromStdString(testing::ReadFile(busLog)).split('\n', Qt::SkipEmptyParts);
    lines.removeIf([inhibitors](const QString& line) {
      return line == "ready" || (line == "released" || line.startsWith("inhibit ")) != inhibitors;
    });
    return lines;
  }

  const std::string kFile = testing::RandomBytes(2'000'000, 7);  // five seconds from /capped/
  const QString kInhibit = "inhibit sleep:idle Pellmarsh block Downloading 1 files";

  void SetMetered(uint value) {
    QDBusMessage set = QDBusMessage::createMethodCall("org.freedesktop.NetworkManager",
                                                      "/org/freedesktop/NetworkManager",
                                                      "org.example.StandIn", "SetMetered");
    set << value;
    QCOMPARE(QDBusConnection::systemBus().call(set).type(), QDBusMessage::ReplyMessage);
  }

  void StartDownload(const std::function<void(Item&)>& adjust) {
    fixture = std::make_unique<testing::WindowFixture>();
    fixture->WriteStartedBefore([&](Item& root) {
      adjust(root);
      testing::AddQueuedUrl(root, nginx->Url("/capped/f.bin"), fixture->dir.File("f.bin"));
    });
    QVERIFY(fixture->Start({[] { return true; }}));
  }

  int64_t Download(PropKey key) {
    Tree::Access tree(fixture->app->tree());
    return tree->FindOrCreateChild(folder::kFileList).ChildAt(0)->GetPropInt64(key);
  }
  bool Complete() { return Download(key::kStatus) == kStatusComplete; }
  QString RowStatus() {
    QAbstractItemModel* rows = fixture->window->findChild<QTreeView*>("downloadList")->model();
    return rows->index(0, kColumnStatus).data().toString();
  }

  // A window with Good Night pressed and one download queued from nginx.
  void StartWithGoodNight(bool shutdownPc, int tickMs) {
    fixture = std::make_unique<testing::WindowFixture>();
    fixture->WriteStartedBefore([&](Item& root) {
      root.SetPropInt(setting::kShutdownPc, shutdownPc ? 1 : 0);
      testing::AddQueuedUrl(root, nginx->Url("/night.bin"), fixture->dir.File("night.bin"));
    });
    QVERIFY(fixture->Start({[] { return true; }, nullptr, nullptr, tickMs}));
    QPushButton* goodNight = fixture->window->findChild<QPushButton*>("goodNightButton");
    goodNight->click();
    QVERIFY(fixture->app->state().goodNight);
  }

  // Waits for the queue to run dry, then skips the five quiet seconds.
  void EmptyTheQueue() {
    QTRY_VERIFY_WITH_TIMEOUT(QueueDone(), 20000);
    fixture->clock.offset += 6000;
  }

  bool QueueDone() {
    Tree::Access tree(fixture->app->state().tree);
    if (!fixture->app->state().activeTransfers.empty()) {
      return false;
    }
    bool done = true;
    tree->FindOrCreateChild(folder::kFileList).ForEach([&done](Item& item) {
      done &=
          item.GetProp(key::kType) != "_url" || item.GetPropInt(key::kStatus) == kStatusComplete;
    });
    return done;
  }

  testing::TempDir busDir;
  std::string busLog;
  testing::ChildProcess bus;
  testing::ChildProcess services;
  std::unique_ptr<testing::NginxServer> nginx;
  std::unique_ptr<testing::WindowFixture> fixture;

 private slots:
  void initTestCase() {
    QVERIFY(testing::StartPrivateBus(bus, busDir, "DBUS_SYSTEM_BUS_ADDRESS"));
    // Notifications too go to the private bus, which has no service for them.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", std::getenv("DBUS_SYSTEM_BUS_ADDRESS"), 1);
    busLog = busDir.File("calls.log");
    QVERIFY(services.Start({"/usr/bin/python3", PELLMARSH_POWER_SERVICES, busLog, "802-3-ethernet",
                            "gsm", "802-11-wireless", "pppoe", "bluetooth", "vpn", "cdma", "adsl"},
                           busDir.File("services.out")));
    QVERIFY2(testing::WaitFor([&] { return testing::ReadFile(busLog).find("ready") == 0; },
                              std::chrono::seconds(20)),
             testing::ReadFile(busDir.File("services.out")).c_str());
    testing::NginxServer::Options options;
    options.extraConfig = "    location /capped/ {\n      limit_rate 400k;\n    }\n";
    nginx = std::make_unique<testing::NginxServer>(options);
    QVERIFY(static_cast<bool>(nginx->Start()));
    nginx->AddFile("/night.bin", std::string(20000, 'n'));
    nginx->AddFile("/capped/f.bin", kFile);
  }

  void cleanup() {
    fixture.reset();
    testing::WriteFile(busLog, "ready\n");
  }

  void theCountdownHangsUpOnlyTheDialUpLinksThenPowersOff() {
    StartWithGoodNight(true, 5);
    EmptyTheQueue();
    QTRY_COMPARE_WITH_TIMEOUT(BusCalls().size(), kBusCallsOfAHangUp.size() + 1, 20000);
    QCOMPARE(BusCalls(), kBusCallsOfAHangUp + QStringList{"poweroff true"});
    QVERIFY(fixture->app->state().goodNight);
  }

  void withoutShutdownPcTheLinksAreOnlyHungUp() {
    StartWithGoodNight(false, 5);
    EmptyTheQueue();
    QTRY_COMPARE_WITH_TIMEOUT(BusCalls().size(), kBusCallsOfAHangUp.size(), 20000);
    // The scheduler runs on once the hang-up is done: a further download ends.
    {
      Tree::Access tree(fixture->app->tree());
      testing::AddQueuedUrl(tree.root(), nginx->Url("/night.bin"), fixture->dir.File("night2.bin"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(QueueDone(), 20000);
    QCOMPARE(BusCalls(), kBusCallsOfAHangUp);
  }

  // The dialog is modal: the test's watcher acts inside its event loop.
  void cancelCallsNothingAndOnlyTheNextEmptyingAsksAgain() {
    StartWithGoodNight(true, 1000);
    int dialogsSeen = 0;
    QString caption, label, seconds;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, [&] {
      auto* dialog = testing::OpenDialog<AutoShutdownDialog>("autoShutdownDialog");
      if (!dialog) {
        return;
      }
      ++dialogsSeen;
      caption = dialog->windowTitle();
      label = dialog->findChild<QLabel*>("secondsLabel")->text();
      seconds = dialog->findChild<QLineEdit*>("secondsBox")->text();
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    watcher.start(20);
    EmptyTheQueue();
    QTRY_COMPARE_WITH_TIMEOUT(dialogsSeen, 1, 20000);
    QCOMPARE(caption, QString("Pellmarsh: Auto Shutdown"));
    QCOMPARE(label, QString("seconds until computer shutdown."));
    QCOMPARE(seconds, QString("60"));

    // No second dialog without a new transfer, however long the queue stays empty.
    fixture->clock.offset += 6000;
    {
      Tree::Access tree(fixture->app->tree());
      testing::AddQueuedUrl(tree.root(), nginx->Url("/night.bin"), fixture->dir.File("night2.bin"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(QueueDone(), 20000);
    QCOMPARE(dialogsSeen, 1);
    fixture->clock.offset += 6000;
    QTRY_COMPARE_WITH_TIMEOUT(dialogsSeen, 2, 20000);
    QCOMPARE(BusCalls(), QStringList());
    QVERIFY(fixture->window->findChild<QPushButton*>("goodNightButton")->isChecked());
  }

  // Metered as the program starts, read then; later changes as signalled.
  void aMeteredConnectionHoldsTheQueueAndTheComputerMaySleepMeanwhile() {
    const QString waiting = "Waiting: the connection is metered";
    SetMetered(3);
    StartDownload([](Item&) {});
    QTRY_COMPARE_WITH_TIMEOUT(RowStatus(), waiting, 5000);
    SetMetered(2);
    QTRY_VERIFY_WITH_TIMEOUT(BusCalls(true).contains(kInhibit), 5000);

    SetMetered(1);
    QTRY_COMPARE_WITH_TIMEOUT(RowStatus(), waiting, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(fixture->window->findChild<QLabel*>("speedText")->text(),
                              QString("Paused: metered"), 5000);
    const int64_t held = Download(key::kReceived);
    QVERIFY(!testing::WaitFor([&] { return Download(key::kReceived) != held; },
                              std::chrono::milliseconds(1500)));
    QVERIFY(!fixture->app->state().paused);
    QTRY_COMPARE_WITH_TIMEOUT(BusCalls(true), (QStringList{kInhibit, "released"}), 5000);

    SetMetered(4);
    QTRY_VERIFY_WITH_TIMEOUT(Complete(), 30000);
    QCOMPARE(testing::ReadFile(fixture->dir.File("f.bin")), kFile);
    // Taken again once it went on, and let go once it ended.
    QTRY_COMPARE_WITH_TIMEOUT(BusCalls(true),
                              (QStringList{kInhibit, "released", kInhibit, "released"}), 5000);
  }

  void theSwitchesLetDownloadsRunMeteredAndTheComputerSleep() {
    SetMetered(1);
    StartDownload([&](Item& root) {
      root.SetPropInt(setting::kDownloadMetered, 1);
      root.SetPropInt(setting::kKeepAwake, 0);
    });
    QTRY_VERIFY_WITH_TIMEOUT(Complete(), 30000);
    QCOMPARE(testing::ReadFile(fixture->dir.File("f.bin")), kFile);
    QCOMPARE(BusCalls(true), QStringList());
  }

  void cleanupTestCase() {
    nginx.reset();
    services.Stop();
    bus.Stop();
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::GoodNightTest)
#include "good_night_test.moc"
