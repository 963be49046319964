#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include "notify/events.h"
#include "store/builtin_tree.h"
#include "store/keys.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "ui/settings_sheet.h"

namespace pellmarsh {

class SettingsSheetTest : public QObject {
  Q_OBJECT

 private:
  // A tree as a start leaves it, adjusted, and the sheet open on it.
  void Open(const std::function<void(Item&)>& adjust = {}) {
    {
      Tree::Access root(*tree);
      SetUpRootAndFolders(root.root(), dir->path());
      SetUpDefaultsAndSettings(root.root(), dir->path());
      BuildSoundTable(root.root());
      if (adjust) {
        adjust(root.root());
      }
    }
    SettingsFileDialogs dialogs;
    dialogs.directory = dialogs.program =
        dialogs.sound = [](QWidget*, const std::string&) { return std::string(); };
    sheet = std::make_unique<CSettingsSheet>(*tree, messages, sounds, dialogs, nullptr);
    sheet->show();
  }

  template <typename Widget>
  Widget* Find(const char* name) {
    Widget* widget = sheet->findChild<Widget*>(name);
    if (!widget) {
      qFatal("no control %s", name);
    }
    return widget;
  }

  void ShowPage(const char* name) {
    auto* tabs = Find<QTabWidget>("settingsTabs");
    tabs->setCurrentWidget(Find<QWidget>(name));
  }

  void Type(const char* edit, const QString& text) {
    auto* box = Find<QLineEdit>(edit);
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, text);
  }

  std::string Setting(PropKey key) { return tree->Lock()->GetProp(key); }

  std::unique_ptr<testing::TempDir> dir;
  std::unique_ptr<Tree> tree;
  testing::RecordingMessages messages;
  testing::RecordingSounds sounds;
  std::unique_ptr<CSettingsSheet> sheet;

 private slots:
  void init() {
    dir = std::make_unique<testing::TempDir>();
    tree = std::make_unique<Tree>();
    messages.shown.clear();
    sounds.played.clear();
  }

  void cleanup() {
    sheet.reset();
    tree.reset();
    dir.reset();
  }

  void theSpeedBoxesFollowTheUnitChosenBesideThem() {
    Open([](Item& root) {
      root.SetPropInt(setting::kBps, 1);
      root.SetPropDouble(setting::kHighSpeed, 100);
      root.SetPropDouble(setting::kLowSpeed, 100);
    });
    QCOMPARE(sheet->windowTitle(), QString("Pellmarsh: Pellmarsh Settings"));
    QCOMPARE(Find<QLineEdit>("highSpeedEdit")->text(), QString("1"));
    QCOMPARE(Find<QLabel>("highSpeedUnit")->text(), QString("kB/s  (empty or 0: no limit)"));
    Type("highSpeedEdit", "100");
    QTest::mouseClick(Find<QCheckBox>("bpsCheck"), Qt::LeftButton);
    QCOMPARE(Find<QLineEdit>("highSpeedEdit")->text(), QString("5859"));
    QCOMPARE(Find<QLineEdit>("lowSpeedEdit")->text(), QString("100"));
    QCOMPARE(Find<QLabel>("lowSpeedUnit")->text(), QString("kilobytes per minute"));
    QCOMPARE(Find<QLabel>("sampleText")->text(),
             QString("Sample figure:  30000 KPM is about a tenth of a 40 Mbit/s broadband line."));
    // Cancel keeps what was stored; OK writes what the page read.
    QCOMPARE(Setting(setting::kHighSpeed), std::string("100.000000"));
    sheet->accept();
    QCOMPARE(Setting(setting::kHighSpeed), std::string("5859.375000"));
    QCOMPARE(Setting(setting::kLowSpeed), std::string("100.000000"));
    QCOMPARE(Setting(setting::kBps), std::string("0"));
  }

  void aFreshSheetHasNoFullSpeedLimitAndAnEmptiedBoxRemovesOne() {
    Open();
    auto* high = Find<QLineEdit>("highSpeedEdit");
    QCOMPARE(high->text(), QString());
    QCOMPARE(high->placeholderText(), QString("no limit"));
    QCOMPARE(Find<QLineEdit>("lowSpeedEdit")->text(), QString("500"));
    Type("highSpeedEdit", "2000");
    Find<QLineEdit>("highSpeedEdit")->clear();
    sheet->accept();
    QCOMPARE(Setting(setting::kHighSpeed), std::string("0.000000"));
  }

  void aSpeedBoxWithoutAnIntegerKeepsTheSheetOpen() {
    Open();
    Type("lowSpeedEdit", "slow");
    QTest::mouseClick(Find<QCheckBox>("bpsCheck"), Qt::LeftButton);
    QVERIFY(Find<QCheckBox>("bpsCheck")->isChecked());  // the unit waits for an integer
    ShowPage("defaultsPage");
    QCOMPARE(Find<QTabWidget>("settingsTabs")->currentWidget(), Find<QWidget>("bandwidthPage"));
    QTest::mouseClick(Find<QPushButton>("okButton"), Qt::LeftButton);
    QVERIFY(sheet->isVisible());
    QCOMPARE(messages.shown.size(), size_t{3});
    QCOMPARE(messages.shown[0].text, std::string("Please enter an integer."));
    Type("lowSpeedEdit", "250");
    QTest::mouseClick(Find<QPushButton>("okButton"), Qt::LeftButton);
    QVERIFY(!sheet->isVisible());
    QCOMPARE(Setting(setting::kLowSpeed), std::string("14648.437500"));  // 250 kB/s
  }

  // An input method, a screen reader or a menu's paste change the text without keys.
  void aSpeedBoxChangedWithoutKeysIsStoredToo() {
    Open([](Item& root) {
      root.SetPropDouble(setting::kHighSpeed, 100.5);
      root.SetPropDouble(setting::kLowSpeed, 10);
    });
    auto* high = Find<QLineEdit>("highSpeedEdit");
    QAccessible::queryAccessibleInterface(high)->setText(QAccessible::Value, "300");
    auto* low = Find<QLineEdit>("lowSpeedEdit");
    low->setFocus();
    QInputMethodEvent composed;
    composed.setCommitString("7", -low->text().size(), int(low->text().size()));
    QApplication::sendEvent(low, &composed);
    QCOMPARE(low->text(), QString("7"));
    sheet->accept();
    QCOMPARE(Setting(setting::kHighSpeed), std::string("17578.125000"));  // 300 kB/s
    QCOMPARE(Setting(setting::kLowSpeed), std::string("410.156250"));     // 7 kB/s
  }

  void theLocalDirectoryKeepsNoTrailingSeparator() {
    Open();
    auto* path = Find<QLineEdit>("localPathEdit");
    QApplication::clipboard()->setText("/srv/files/");
    path->selectAll();
    path->paste();
    QCOMPARE(path->text(), QString("/srv/files"));
    QTest::keyClick(path, Qt::Key_End);
    QTest::keyClicks(path, "/");
    QCOMPARE(path->text(), QString("/srv/files"));
    const auto stored = [this] {
      Tree::Access root(*tree);
      return root->FindChild(folder::kHostDefaults)
          ->FindChild(kDefaultHostEntry)
          ->GetProp(key::kLocalPath);
    };
    QCOMPARE(stored(), std::string("/srv/files"));
    Type("localPathEdit", "/");
    QCOMPARE(stored(), std::string("/"));
  }

  void textTypesAreAddedInTheirCaseRefusedTwiceAndDeleted() {
    Open();
    const auto names = [this](std::string_view folder) {
      QStringList found;
      Tree::Access root(*tree);
      const Item* entries = root->FindChild(folder);
      for (int index = 0; index < entries->ChildCount(); ++index) {
        found << QString::fromStdString(entries->ChildAt(index)->GetProp(key::kName));
      }
      return found;
    };
    Type("extensionEdit", "log");
    QTest::mouseClick(Find<QPushButton>("extensionAddButton"), Qt::LeftButton);
    Type("extensionEdit", "Log");
    QTest::mouseClick(Find<QPushButton>("extensionAddButton"), Qt::LeftButton);
    Type("mimeTypeEdit", "Application/X-Sh");
    QTest::mouseClick(Find<QPushButton>("mimeTypeAddButton"), Qt::LeftButton);
    Type("mimeTypeEdit", "TEXT/PLAIN");
    QTest::mouseClick(Find<QPushButton>("mimeTypeAddButton"), Qt::LeftButton);
    QCOMPARE(names(folder::kFtpText), QStringList({"TXT", "TEXT", "HTML", "HTM", "LOG"}));
    QCOMPARE(names(folder::kHttpText),
             QStringList({"text/plain", "text/html", "application/x-sh"}));
    QCOMPARE(messages.shown.size(), size_t{2});
    QCOMPARE(messages.shown[0].text, std::string("That extension is already in the list."));
    QCOMPARE(messages.shown[1].text, std::string("That mime type is already in the list."));

    auto* list = Find<QListWidget>("extensionList");
    QCOMPARE(list->item(2)->text(), QString("LOG"));  // sorted
    list->setCurrentRow(2);
    QTest::mouseClick(Find<QPushButton>("extensionDeleteButton"), Qt::LeftButton);
    sheet->reject();
    QCOMPARE(names(folder::kFtpText), QStringList({"TXT", "TEXT", "HTML", "HTM"}));
  }

  void cancelKeepsAHostsNewLoginButNoSetting() {
    Open();
    ShowPage("defaultsPage");
    Type("loginEdit", "ftpuser");
    QTest::mouseClick(Find<QCheckBox>("permanentCheck"), Qt::LeftButton);
    ShowPage("miscellaneousPage");
    QTest::mouseClick(Find<QCheckBox>("delLogCheck"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("cancelButton"), Qt::LeftButton);
    Tree::Access root(*tree);
    const Item* host = root->FindChild(folder::kHostDefaults)->FindChild(kDefaultHostEntry);
    QCOMPARE(host->GetProp(key::kLogin), std::string("ftpuser"));
    QCOMPARE(host->GetProp(key::kPermanent), std::string("1"));
    QCOMPARE(root->GetProp(setting::kDelLog), std::string("1"));
  }

  void concealedPasswordsCannotBeRevealedAgain() {
    Open([](Item& root) { root.SetPropInt(setting::kHidePasswords, 1); });
    auto* conceal = Find<QCheckBox>("hidePasswordsCheck");
    QVERIFY(conceal->isChecked());
    QVERIFY(!conceal->isEnabled());
    QCOMPARE(Find<QLineEdit>("passwordEdit")->echoMode(), QLineEdit::Password);
    sheet->accept();
    QCOMPARE(Setting(setting::kHidePasswords), std::string("1"));
  }

  // Each way of watching the clipboard is stored as chosen; the question's
  // own switches go with it.
  void theClipboardPageStoresHowCopiedLinksAreWatched() {
    const struct {
      const char* radio;
      const char* watch;
      const char* clipAndGo;
    } rows[] = {{"clipOffRadio", "2", "0"},
                {"clipEveryLinkRadio", "0", "0"},
                {"clipAndGoRadio", "3", "1"},
                {"clipFileLinksRadio", "1", "0"}};
    for (const auto& row : rows) {
      Open();
      ShowPage("clipboardPage");
      auto* clipStart = Find<QCheckBox>("clipStartCheck");
      auto* types = Find<QWidget>("clipFileTypesColumn");
      auto* radio = Find<QRadioButton>(row.radio);
      QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(8, radio->height() / 2));
      const bool asking = std::string(row.clipAndGo) == "1";
      QCOMPARE(clipStart->isEnabled(), asking);
      QCOMPARE(types->isEnabled(), std::string(row.watch) == "1");
      sheet->accept();
      QCOMPARE(Setting(setting::kClipWatch), std::string(row.watch));
      QCOMPARE(Setting(setting::kClipAndGo), std::string(row.clipAndGo));
    }
  }

  void theClipboardsFileTypesAreAListToAddToAndDeleteFrom() {
    Open([](Item& root) { root.SetProp(setting::kClipFileTypes, "zip, ISO"); });
    ShowPage("clipboardPage");
    for (const char* typed : {".XZ", "iso", " "}) {
      Type("clipFileTypeEdit", typed);
      QTest::mouseClick(Find<QPushButton>("clipFileTypeAddButton"), Qt::LeftButton);
    }
    auto* list = Find<QListWidget>("clipFileTypesList");
    list->setCurrentRow(0);
    QTest::mouseClick(Find<QPushButton>("clipFileTypeDeleteButton"), Qt::LeftButton);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->currentItem()->text(), QString("iso"));
    QCOMPARE(messages.shown.size(), size_t{1});
    QCOMPARE(messages.shown[0].text, std::string("That extension is already in the list."));
    sheet->accept();
    QCOMPARE(Setting(setting::kClipFileTypes), std::string("iso xz"));
  }

  // Dragging over hours paints them with the state chosen; choosing another
  // leaves them as painted.
  void theWeeklyPlanIsPaintedByDraggingAndStoredWithItsSwitch() {
    Open();
    ShowPage("schedulePage");
    auto* grid = Find<QTableWidget>("weekPlanGrid");
    QTest::mouseClick(Find<QCheckBox>("weekPlanCheck"), Qt::LeftButton, {}, QPoint(8, 8));
    QTest::mouseClick(Find<QRadioButton>("planPausedRadio"), Qt::LeftButton, {}, QPoint(8, 8));
    const auto centre = [grid](int row, int column) {
      return grid->visualRect(grid->model()->index(row, column)).center();
    };
    QWidget* cells = grid->viewport();
    QTest::mousePress(cells, Qt::LeftButton, {}, centre(0, 1));
    QTest::mouseMove(cells, centre(0, 3));
    QTest::mouseRelease(cells, Qt::LeftButton, {}, centre(0, 3));
    QCOMPARE(grid->item(0, 2)->text(), QString("P"));
    QTest::mouseClick(Find<QRadioButton>("planBackgroundRadio"), Qt::LeftButton, {}, QPoint(8, 8));
    QTest::mouseClick(cells, Qt::LeftButton, Qt::ControlModifier, centre(6, 23));
    sheet->accept();
    std::string expected(168, 'F');
    expected.replace(1, 3, "PPP");
    expected.back() = 'B';
    QCOMPARE(Setting(setting::kWeekPlan), expected);
    QCOMPARE(Setting(setting::kWeekPlanOn), std::string("1"));
  }

  void theConnectionsBoxStoresAnyInteger_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("beyond the list") << "12"
                                     << "12";
    QTest::newRow("a word") << "several"
                            << "0";
  }

  void theConnectionsBoxStoresAnyInteger() {
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    Open();
    ShowPage("miscellaneousPage");
    QLineEdit* edit = Find<QComboBox>("maxConsCombo")->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    sheet->accept();
    QCOMPARE(QString::fromStdString(Setting(setting::kMaxCons)), stored);
  }

  void playSoundNowPlaysEvenWithSoundsOff() {
    Open();
    ShowPage("soundPage");
    auto* triggers = Find<QListWidget>("triggerList");
    QCOMPARE(triggers->currentItem()->text(), QString("Download: Failed, Cannot Retry"));
    Type("soundFileEdit", "/tmp/ding.wav");
    QTest::mouseClick(Find<QPushButton>("playSoundButton"), Qt::LeftButton);
    QCOMPARE(sounds.played, std::vector<std::string>{"/tmp/ding.wav"});
    Tree::Access root(*tree);
    QCOMPARE(root->FindChild(folder::kSoundConfig)->FindChild("BROKEN")->GetProp(key::kFile),
             std::string("/tmp/ding.wav"));
  }

  void notificationsAreOnByDefaultAndSwitchedOffOnTheSoundPage() {
    Open();
    ShowPage("soundPage");
    auto* notifyOn = Find<QCheckBox>("notifyOnCheck");
    QVERIFY(notifyOn->isChecked());
    QTest::mouseClick(notifyOn, Qt::LeftButton);
    sheet->accept();
    QCOMPARE(Setting(setting::kNotifyOn), std::string("0"));
  }

  void ftpDataConnectionsArePassiveThenActiveUntilChosenOnTheDefaultsPage() {
    Open();
    ShowPage("defaultsPage");
    QVERIFY(Find<QRadioButton>("passiveThenActiveRadio")->isChecked());
    auto* activeOnly = Find<QRadioButton>("activeOnlyRadio");
    QTest::mouseClick(activeOnly, Qt::LeftButton, {}, QPoint(8, activeOnly->height() / 2));
    sheet->accept();
    QCOMPARE(Setting(setting::kFtpMode), std::string("2"));
  }

  void theProxyIsTheSystemsByDefaultAndOneIsGivenOnTheDefaultsPage() {
    Open();
    ShowPage("defaultsPage");
    auto* mode = Find<QComboBox>("proxyModeCombo");
    QCOMPARE(mode->currentIndex(), static_cast<int>(ProxyMode::kSystem));
    QVERIFY(!Find<QLineEdit>("proxyEdit")->isEnabled());
    mode->setCurrentIndex(static_cast<int>(ProxyMode::kGiven));
    QVERIFY(Find<QLineEdit>("proxyEdit")->isEnabled());
    Type("proxyEdit", "http://me:pw@proxy.example:3128");
    sheet->accept();
    QCOMPARE(Setting(setting::kProxyMode), std::string("2"));
    QCOMPARE(Setting(setting::kProxy), std::string("http://me:pw@proxy.example:3128"));
  }

  void linksFromOtherProgramsAreQueuedByDefaultAndHeldOnceSwitchedOff() {
    Open();
    ShowPage("miscellaneousPage");
    auto* queueLinks = Find<QCheckBox>("queueLinksCheck");
    QVERIFY(queueLinks->isChecked());
    // On its box: the caption is shorter than the row.
    QTest::mouseClick(queueLinks, Qt::LeftButton, {}, QPoint(8, queueLinks->height() / 2));
    sheet->accept();
    QCOMPARE(Setting(setting::kQueueLinks), std::string("0"));
  }

  void meteredDownloadsAreOffAndKeepingAwakeOnUntilTurned() {
    const std::tuple<const char*, const char*, PropKey, bool> switches[] = {
        {"bandwidthPage", "downloadMeteredCheck", setting::kDownloadMetered, false},
        {"miscellaneousPage", "keepAwakeCheck", setting::kKeepAwake, true}};
    Open();
    for (const auto& [page, name, key, byDefault] : switches) {
      ShowPage(page);
      auto* box = Find<QCheckBox>(name);
      QCOMPARE(box->isChecked(), byDefault);
      QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }
    sheet->accept();
    for (const auto& [page, name, key, byDefault] : switches) {
      QCOMPARE(Setting(key), std::string(byDefault ? "0" : "1"));
    }
  }

  // Check Now asks the site as typed, and leaves the sheet and its other changes open.
  void checkNowStoresTheTypedSiteAndKeepsTheSheetOpen() {
    Open([](Item& root) { root.SetProp(setting::kUpgradeUrl, "http://old.example.net"); });
    std::vector<std::string> checkedSites;
    sheet->setCheckNow([&] { checkedSites.push_back(Setting(setting::kUpgradeUrl)); });
    ShowPage("miscellaneousPage");
    QCOMPARE(Find<QLineEdit>("upgradeUrlEdit")->text(), QString("http://old.example.net"));
    const std::string autoExtractBefore = Setting(setting::kAutoExtract);
    QTest::mouseClick(Find<QCheckBox>("autoExtractCheck"), Qt::LeftButton);
    Type("upgradeUrlEdit", "http://updates.example.net");
    QTest::mouseClick(Find<QPushButton>("checkNowButton"), Qt::LeftButton);
    QCOMPARE(checkedSites, std::vector<std::string>{"http://updates.example.net"});
    QVERIFY(sheet->isVisible());
    QCOMPARE(Setting(setting::kAutoExtract), autoExtractBefore);
    sheet->accept();
    QCOMPARE(Setting(setting::kAutoExtract), std::string("1"));
    QCOMPARE(Setting(setting::kUpgradeUrl), std::string("http://updates.example.net"));
  }

  void connectionCountsAreOnTheBandwidthPageWithinTheirBounds() {
    Open([](Item& root) { root.SetPropInt(setting::kConnectionsPerDownload, 40); });
    ShowPage("bandwidthPage");
    auto* perDownload = Find<QSpinBox>("connectionsPerDownloadSpin");
    QCOMPARE(perDownload->value(), 16);
    QCOMPARE(perDownload->accessibleName(), QString("Connections per download"));
    QCOMPARE(Find<QSpinBox>("connectionsPerServerSpin")->value(), 4);
    Find<QSpinBox>("connectionsPerServerSpin")->setValue(2);
    sheet->accept();
    QCOMPARE(Setting(setting::kConnectionsPerDownload), std::string("16"));
    QCOMPARE(Setting(setting::kConnectionsPerServer), std::string("2"));
  }

  void everyControlIsNamedForScreenReaders() {
    Open();
    for (QWidget* control : sheet->findChildren<QWidget*>()) {
      const bool button = qobject_cast<QAbstractButton*>(control) != nullptr;
      if (!button && !qobject_cast<QLineEdit*>(control) && !qobject_cast<QListWidget*>(control) &&
          !qobject_cast<QComboBox*>(control)) {
        continue;
      }
      if (qobject_cast<QLineEdit*>(control) && qobject_cast<QComboBox*>(control->parent())) {
        continue;  // the combo box's own edit
      }
      QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
      QVERIFY2(!control->objectName().isEmpty(), qPrintable(accessible->text(QAccessible::Name)));
      const QString name = accessible->text(QAccessible::Name);
      if (button && !qobject_cast<QAbstractButton*>(control)->text().isEmpty()) {
        QCOMPARE(name, qobject_cast<QAbstractButton*>(control)->text().remove('&'));
      }
      QVERIFY2(!name.isEmpty(), qPrintable(control->objectName()));
    }
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::SettingsSheetTest)
#include "settings_sheet_test.moc"
