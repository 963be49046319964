// Good Night against a private system bus with stand-in NetworkManager and
// logind services, over a real download from nginx.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>

#include "support/child_process.h"
#include "support/nginx_server.h"
#include "support/private_bus.h"
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

  QStringList BusCalls() {
    QStringList lines =
        QString::fromStdString(testing::ReadFile(busLog)).split('\n', Qt::SkipEmptyParts);
    lines.removeAll("ready");
    return lines;
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
    busLog = busDir.File("calls.log");
    QVERIFY(services.Start({"/usr/bin/python3", PELLMARSH_POWER_SERVICES, busLog, "802-3-ethernet",
                            "gsm", "802-11-wireless", "pppoe", "bluetooth", "vpn", "cdma", "adsl"},
                           busDir.File("services.out")));
    QVERIFY2(testing::WaitFor([&] { return testing::ReadFile(busLog).find("ready") == 0; },
                              std::chrono::seconds(20)),
             testing::ReadFile(busDir.File("services.out")).c_str());
    nginx = std::make_unique<testing::NginxServer>();
    QVERIFY(static_cast<bool>(nginx->Start()));
    nginx->AddFile("/night.bin", std::string(20000, 'n'));
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

  void cleanupTestCase() {
    nginx.reset();
    services.Stop();
    bus.Stop();
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::GoodNightTest)
#include "good_night_test.moc"
