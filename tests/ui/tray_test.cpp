// The window's way into and out of the notification area, with a stand-in entry.
#include <QTest>

#include "window_fixture.h"

namespace pellmarsh {

// Records what the window asks of the notification area.
class StandInTray final : public TrayEntry {
 public:
  bool Available() override { return available; }
  void Show(int icon) override { shown = icon; }
  void SetToolTip(const std::string& text) override { toolTip = text; }
  void Remove() override { shown = -1; }
  void Click(QSystemTrayIcon::ActivationReason reason) { onActivated(reason); }

  bool available = true;
  int shown = -1;
  std::string toolTip;
};

class TrayTest : public QObject {
  Q_OBJECT

 private:
  void StartWindow(bool minTray, Qt::WindowStates startState = Qt::WindowNoState) {
    fixture = std::make_unique<testing::WindowFixture>();
    // Offline: nothing the scheduler counts may overwrite the made-up downloads.
    fixture->WriteStartedBefore([minTray](Item& root) {
      root.SetPropInt(setting::kMinTray, minTray ? 1 : 0);
      root.SetPropInt(setting::kOffline, 1);
    });
    fixture->app = std::make_unique<App>(fixture->dir.path(), fixture->messages, fixture->sounds,
                                         fixture->clock);
    fixture->window = std::make_unique<MainWindow>(
        *fixture->app, DesktopProbe{[] { return false; }, &tray, nullptr, 1000});
    QVERIFY(fixture->window->Initialise());
    fixture->window->setWindowState(startState);
    fixture->window->show();
  }

  void PretendDownloadsRunning(int count) {
    if (fixture->app->workersRunning()) {
      fixture->app->StopWorkers([this] { fixture->clock.SleepMs(20); });
    }
    fixture->app->state().activeCount = count;
  }

  MainWindow& window() { return *fixture->window; }

  StandInTray tray;
  std::unique_ptr<testing::WindowFixture> fixture;

 private slots:
  void init() { tray = StandInTray(); }
  void cleanup() { fixture.reset(); }

  void minimisingHidesTheWindowAndTheIconFollowsTheDownloads() {
    StartWindow(true);
    window().showMinimized();
    QTRY_VERIFY(!window().isVisible());
    QCOMPARE(tray.shown, kTrayIconIdle);
    PretendDownloadsRunning(2);
    QTRY_COMPARE_WITH_TIMEOUT(tray.shown, kTrayIconActive, 3000);
    QCOMPARE(window().trayIcon(), kTrayIconActive);
    QCOMPARE(tray.toolTip, std::string("Pellmarsh: 2 Files at 0 B/s"));
    PretendDownloadsRunning(0);
    QTRY_COMPARE_WITH_TIMEOUT(tray.shown, kTrayIconIdle, 3000);
    QCOMPARE(tray.toolTip, std::string("Pellmarsh"));
  }

  void onlyALeftClickBringsTheWindowBack() {
    StartWindow(true);
    window().showMinimized();
    QTRY_VERIFY(!window().isVisible());
    // The window manager's bookkeeping on the hidden window takes nothing away.
    window().setWindowState(Qt::WindowNoState);
    QCOMPARE(tray.shown, kTrayIconIdle);
    for (auto ignored :
         {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
      tray.Click(ignored);
      QVERIFY(!window().isVisible());
      QCOMPARE(tray.shown, kTrayIconIdle);
    }
    tray.Click(QSystemTrayIcon::Trigger);
    QVERIFY(window().isVisible());
    QVERIFY(!window().isMinimized());
    QCOMPARE(tray.shown, -1);
    QCOMPARE(window().trayIcon(), -1);
  }

  void aMinimisedStartGoesToTheTray() {
    StartWindow(true, Qt::WindowMinimized);
    QTRY_VERIFY(!window().isVisible());
    QCOMPARE(tray.shown, kTrayIconIdle);
  }

  // Rows: with the setting off, and on a desktop with no notification area,
  // the window minimises to the taskbar and no entry is made.
  void minimisingStaysInTheTaskbar_data() {
    QTest::addColumn<bool>("minTray");
    QTest::addColumn<bool>("trayAvailable");
    QTest::newRow("setting off") << false << true;
    QTest::newRow("no notification area") << true << false;
  }
  void minimisingStaysInTheTaskbar() {
    QFETCH(bool, minTray);
    QFETCH(bool, trayAvailable);
    tray.available = trayAvailable;
    StartWindow(minTray);
    window().showMinimized();
    QCoreApplication::processEvents();  // the deferred hide has had its turn
    QVERIFY(window().isVisible());
    QVERIFY(window().isMinimized());
    QCOMPARE(tray.shown, -1);
    QCOMPARE(window().trayIcon(), -1);
  }

  void closingRemovesTheEntry() {
    StartWindow(true);
    window().showMinimized();
    QTRY_COMPARE(tray.shown, kTrayIconIdle);
    window().RequestQuit();
    QCOMPARE(tray.shown, -1);
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::TrayTest)
#include "tray_test.moc"
