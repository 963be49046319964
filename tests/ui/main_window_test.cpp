#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "store/builtin_tree.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/app_harness.h"
#include "ui/main_window.h"

namespace pellmarsh {

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  // A data file of a program that has started before, so no first-start box opens.
  void WriteStartedBefore(const std::function<void(Item&)>& adjust = {}) {
    Item root;
    MarkFirstStart(root, 1765000000);
    if (adjust) {
      adjust(root);
    }
    testing::WriteFile(harness->dir.File("pmarsh.dat"), SaveTree(root));
  }

  void StartWindow(bool dialUp = false) {
    app = &harness->Open();
    window = std::make_unique<MainWindow>(*app, DesktopProbe{[dialUp] { return dialUp; }});
    QVERIFY(window->Initialise());
    window->show();
  }

  void StopAndSave() {
    harness->StopWorkers();
    app->SaveTree();
  }

  // The scheduler recounts the running downloads every second, its first pass
  // included, and would write 0 over a made-up count: it is stopped first.
  void PretendDownloadsRunning(int count) {
    if (app->workersRunning()) {
      harness->StopWorkers();
    }
    app->state().activeCount = count;
  }

  std::unique_ptr<Item> SavedTree() {
    auto saved = std::make_unique<Item>();
    LoadTree(*saved, testing::ReadFile(harness->dir.File("pmarsh.dat")));
    return saved;
  }

  template <typename Widget>
  Widget* Find(const char* name) {
    return window->findChild<Widget*>(name);
  }

  std::unique_ptr<testing::AppHarness> harness;
  App* app = nullptr;  // the harness's, while a window is started
  std::unique_ptr<MainWindow> window;

 private slots:
  void init() {
    harness = std::make_unique<testing::AppHarness>();
    harness->messages.answer = MessageAnswer::kNo;
  }

  void cleanup() {
    if (app && app->workersRunning()) {
      harness->StopWorkers();
    }
    window.reset();
    app = nullptr;
    harness.reset();
  }

  void everyControlIsThereWithItsCaptionAndStartState() {
    WriteStartedBefore();
    StartWindow();
    QCOMPARE(window->windowTitle(), QString("Pellmarsh"));
    const std::pair<const char*, const char*> buttons[] = {
        {"downloadButton", "&Download..."},
        {"settingsButton", "Se&ttings..."},
        {"aboutButton", "A&bout..."},
        {"propertiesButton", "&Properties..."},
        {"startNowButton", "&Start Now"},
        {"queueButton", "Add to &Queue"},
        {"stopButton", "Sto&p"},
        {"launchButton", "&Launch File"},
        {"archiveButton", "Archive &URL"},
        {"deleteFileButton", "Delete &File"},
        {"goFastButton", "Go &Fast"},
        {"pauseButton", "&Pause"},
        {"offlineButton", "&Offline"},
        {"goodNightButton", "&Good Night"},
    };
    for (const auto& [name, caption] : buttons) {
      QPushButton* button = Find<QPushButton>(name);
      QVERIFY2(button, name);
      QCOMPARE(button->text(), QString(caption));
    }
    for (const char* disabled : {"propertiesButton", "startNowButton", "queueButton", "stopButton",
                                 "launchButton", "archiveButton", "deleteFileButton"}) {
      QVERIFY2(!Find<QPushButton>(disabled)->isEnabled(), disabled);
    }
    QVERIFY(Find<QPushButton>("aboutButton")->isEnabled());
    QVERIFY(Find<QPushButton>("goFastButton")->isCheckable());
    QTabBar* tabs = Find<QTabBar>("tabs");
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->tabText(0), QString("Pending Downloads"));
    QCOMPARE(tabs->tabText(3), QString("Clipboard/Extraction"));
    QTreeWidget* list = Find<QTreeWidget>("downloadList");
    QCOMPARE(list->headerItem()->text(0), QString("Filename"));
    QCOMPARE(list->headerItem()->text(2), QString("Status"));
    QVERIFY(Find<QProgressBar>("progressBar"));
    QVERIFY(Find<QLabel>("speedText"));
    QVERIFY(Find<QLabel>("rateText"));
    QCOMPARE(Find<QLabel>("hintText")->text(), QString("Double Click for Properties"));
  }

  void goodNightNeedsTheDialUpService() {
    WriteStartedBefore();
    StartWindow(false);
    QVERIFY(!Find<QPushButton>("goodNightButton")->isEnabled());
    cleanup();
    init();
    WriteStartedBefore();
    StartWindow(true);
    QVERIFY(Find<QPushButton>("goodNightButton")->isEnabled());
  }

  void goFastAndOfflineAreRestoredFromTheSettings() {
    WriteStartedBefore([](Item& root) {
      root.SetPropInt(setting::kGoFast, 1);
      root.SetPropInt(setting::kOffline, 1);
    });
    StartWindow();
    QVERIFY(Find<QPushButton>("goFastButton")->isChecked());
    QVERIFY(Find<QPushButton>("offlineButton")->isChecked());
    QVERIFY(!Find<QPushButton>("pauseButton")->isChecked());
    QVERIFY(app->state().offline);
    QVERIFY(app->state().goFast);
  }

  void theTogglesStoreTheirStateAndOfflineReleasesGoodNight() {
    WriteStartedBefore();
    StartWindow(true);
    Find<QPushButton>("goFastButton")->click();
    Find<QPushButton>("goodNightButton")->click();
    QVERIFY(app->state().goFast);
    QVERIFY(app->state().goodNight);
    Find<QPushButton>("offlineButton")->click();
    QVERIFY(app->state().offline);
    QVERIFY(!app->state().goodNight);
    QVERIFY(!Find<QPushButton>("goodNightButton")->isChecked());
    Find<QPushButton>("pauseButton")->click();
    QVERIFY(app->state().paused);
    {
      std::lock_guard lock(app->treeLock());
      QCOMPARE(app->root().GetProp(setting::kGoFast), std::string("1"));
      QCOMPARE(app->root().GetProp(setting::kOffline), std::string("1"));
    }
    // The one-second timer shows the speed state.
    QVERIFY(
        QTest::qWaitFor([this] { return Find<QLabel>("speedText")->text() == "OFFLINE"; }, 5000));
  }

  void columnWidthsComeFromTheSettingsAndGoBackOnClose() {
    WriteStartedBefore([](Item& root) {
      root.SetPropInt(setting::kColumn1Width, 0);
      root.SetPropInt(setting::kColumn2Width, 222);
    });
    StartWindow();
    QTreeWidget* list = Find<QTreeWidget>("downloadList");
    QCOMPARE(list->columnWidth(0), 100);
    QCOMPARE(list->columnWidth(1), 222);
    QCOMPARE(list->columnWidth(2), 300);
    list->setColumnWidth(2, 150);
    window->reject();
    StopAndSave();
    const std::unique_ptr<Item> saved = SavedTree();
    QCOMPARE(saved->GetProp(setting::kColumn1Width), std::string("100"));
    QCOMPARE(saved->GetProp(setting::kColumn3Width), std::string("150"));
  }

  void theWindowRectangleIsStoredAndRestored() {
    WriteStartedBefore();
    StartWindow();
    window->setMinimumSize(0, 0);
    window->setGeometry(40, 50, 720, 450);  // inside the offscreen screen of 800 x 600
    window->reject();
    StopAndSave();
    const std::unique_ptr<Item> saved = SavedTree();
    QCOMPARE(saved->GetPropInt(setting::kWindowLeft), 40);
    QCOMPARE(saved->GetPropInt(setting::kWindowRight), 760);
    QCOMPARE(saved->GetPropInt(setting::kWindowBottom), 500);
    window.reset();

    StartWindow();
    QCOMPARE(window->geometry(), QRect(40, 50, 720, 450));
  }

  void theWindowCannotShrinkBelowItsFirstSize() {
    WriteStartedBefore();
    StartWindow();
    const QSize first = window->size();
    QCOMPARE(window->minimumSize(), first);
  }

  void closingWithDownloadsRunningAsksFirst() {
    WriteStartedBefore();
    StartWindow();
    window->reject();  // none running: closes without a question
    QVERIFY(harness->messages.shown.empty());
    QVERIFY(!window->isVisible());
    cleanup();
    init();

    WriteStartedBefore();
    StartWindow();
    PretendDownloadsRunning(1);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QCOMPARE(harness->messages.shown.size(), size_t{1});
    QCOMPARE(harness->messages.shown[0].text,
             std::string("You have 1 file actively downloading.  Are you sure you want to exit "
                         "Pellmarsh?"));
    QCOMPARE(harness->messages.shown[0].caption, std::string("Exit Pellmarsh?"));
    QVERIFY(window->isVisible());  // answered No

    PretendDownloadsRunning(2);
    harness->messages.answer = MessageAnswer::kYes;
    window->close();
    QCOMPARE(harness->messages.shown.size(), size_t{2});
    QVERIFY(harness->messages.shown[1].text.find("2 files") != std::string::npos);
    QVERIFY(!window->isVisible());
  }

  void enterDoesNothing() {
    WriteStartedBefore();
    StartWindow();
    QTest::keyClick(window.get(), Qt::Key_Return);
    QVERIFY(window->isVisible());
    QVERIFY(harness->messages.shown.empty());
  }

  void aQuitRequestClosesWithoutAQuestion() {
    WriteStartedBefore();
    StartWindow();
    PretendDownloadsRunning(3);
    window->RequestQuit();
    QVERIFY(harness->messages.shown.empty());
    QVERIFY(!window->isVisible());
  }

  void aQuitDuringTheFirstStartAboutBoxEndsTheStartUp() {
    app = &harness->Open();
    window = std::make_unique<MainWindow>(*app, DesktopProbe{});
    bool aboutWasOpen = false;
    QTimer::singleShot(50, [&] {
      aboutWasOpen = window->findChild<QDialog*>("aboutBox") != nullptr;
      window->RequestQuit();
    });
    QVERIFY(!window->Initialise());
    QVERIFY(aboutWasOpen);
    QVERIFY(!app->workersRunning());
    app->SaveTree();
    const std::unique_ptr<Item> saved = SavedTree();
    QCOMPARE(saved->GetProp(setting::kMaxCons), std::string("2"));
    QVERIFY(saved->FindChild("_soundconfig"));
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::MainWindowTest)
#include "main_window_test.moc"
