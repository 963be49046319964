#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "app/app.h"
#include "app/speed_control.h"
#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "ui/download_list.h"
#include "ui/main_window.h"
#include "view/list_rows.h"

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
    testing::WriteFile(dir->File("pmarsh.dat"), SaveTree(root));
  }

  void StartWindow(bool dialUp = false, std::function<bool(const std::string&)> showFile = {}) {
    app = std::make_unique<App>(dir->path(), messages, sounds, clock);
    DesktopProbe probe{[dialUp] { return dialUp; }};
    probe.showFile = std::move(showFile);
    window = std::make_unique<MainWindow>(*app, std::move(probe));
    QVERIFY(window->Initialise());
    window->show();
  }

  void StopAndSave() {
    app->StopWorkers([this] { clock.SleepMs(20); });
    app->SaveTree();
  }

  // The scheduler recounts the running downloads every second, its first pass
  // included, and would write 0 over a made-up count: it is stopped first.
  void PretendDownloadsRunning(int count) {
    if (app->workersRunning()) {
      app->StopWorkers([this] { clock.SleepMs(20); });
    }
    app->state().activeCount = count;
  }

  std::unique_ptr<Item> SavedTree() {
    auto saved = std::make_unique<Item>();
    LoadTree(*saved, testing::ReadFile(dir->File("pmarsh.dat")));
    return saved;
  }

  template <typename Widget>
  Widget* Find(const char* name) {
    return window->findChild<Widget*>(name);
  }

  // Offline, so the scheduler starts nothing while the rows are read.
  void WriteItemsOfEveryStatus() {
    testing::WriteFile(dir->File("done.zip"), "zip");
    WriteStartedBefore([this](Item& root) {
      root.SetPropInt(setting::kOffline, 1);
      auto add = [](Item& folder, const std::string& name, int status) -> Item& {
        auto item = std::make_unique<Item>();
        item->SetProp(key::kName, name);
        item->SetProp(key::kType, "_url");
        item->SetProp(key::kValue, "http://example.invalid/" + name);
        item->SetPropInt(key::kStatus, status);
        return folder.AddChild(std::move(item));
      };
      Item& list = root.FindOrCreateChild(folder::kFileList);
      add(list, "held.bin", kStatusOnHold);
      add(list, "queued.bin", kStatusQueued);
      Item& done = add(list, "done.zip", kStatusComplete);
      done.SetProp(key::kLocal, dir->File("done.zip"));
      done.SetProp(key::kReceived, "6000000000");
      done.SetProp(key::kSize, "6000000000");
      done.SetProp(key::kLog, "00000000001 Connected\r\n");
      add(list, "failed.bin", kStatusFailed).SetProp(key::kError, "404 Not Found");
      add(list, "paused.bin", kStatusPaused);
      add(list, "stopping.bin", kStatusStopping);
      Item& archived = add(root.FindOrCreateChild(folder::kFileArchive), "old.bin", kStatusFailed);
      archived.SetPropInt(key::kArchived, 1);
      add(root.FindOrCreateChild(folder::kFileClip), "clip.bin", kStatusClipped)
          .SetProp(key::kCreate, "1765000000");
    });
  }

  // Column `column` of every row, in list order.
  QStringList Column(int column) {
    QAbstractItemModel* rows = Find<QTreeView>("downloadList")->model();
    QStringList texts;
    for (int row = 0; row < rows->rowCount(); ++row) {
      texts << rows->index(row, column).data().toString();
    }
    return texts;
  }

  // The file name cells that read `name`.
  QModelIndexList RowsNamed(const QString& name) {
    QAbstractItemModel* rows = Find<QTreeView>("downloadList")->model();
    if (rows->rowCount() == 0) {
      return {};
    }
    return rows->match(rows->index(0, 0), Qt::DisplayRole, name, -1, Qt::MatchExactly);
  }

  void SelectRow(const QString& name) {
    const QModelIndexList found = RowsNamed(name);
    QVERIFY2(found.size() == 1, qPrintable(name));
    Find<QTreeView>("downloadList")->setCurrentIndex(found[0]);
  }

  // Plays the user in the next URL Properties dialog, which runs its own event loop.
  static void OnNextUrlDialog(std::function<void(QDialog*)> user) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, user] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog && dialog->objectName() == "urlPropertiesDialog") {
        poll->deleteLater();
        user(dialog);
      }
    });
    poll->start(10);
  }

  static QString Field(QDialog* dialog, const char* name) {
    return dialog->findChild<QLineEdit*>(name)->text();
  }

  int ListedCount() {
    TreeLockGuard lock(app->tree().lock());
    return app->tree().root().FindOrCreateChild(folder::kFileList).ChildCount();
  }

  void Drop(QMimeData& mime) {
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton,
                    Qt::NoModifier);
    // Straight to the window: without a drag running, the application delivers no drop.
    static_cast<QObject*>(window.get())->event(&drop);
    QCOMPARE(drop.dropAction(), Qt::IgnoreAction);  // nothing taken from the source
  }

  std::unique_ptr<testing::TempDir> dir;
  testing::RecordingMessages messages;
  testing::RecordingSounds sounds;
  SystemClock clock;
  std::unique_ptr<App> app;
  std::unique_ptr<MainWindow> window;

 private slots:
  void init() {
    dir = std::make_unique<testing::TempDir>();
    messages.shown.clear();
    messages.answer = MessageAnswer::kNo;
  }

  void cleanup() {
    if (app && app->workersRunning()) {
      app->StopWorkers([this] { clock.SleepMs(20); });
    }
    window.reset();
    app.reset();
    dir.reset();
  }

  void everyControlIsThereWithItsCaptionAndStartState() {
    WriteStartedBefore();
    StartWindow();
    QCOMPARE(window->windowTitle(), QString("Pellmarsh"));
    const std::pair<const char*, const char*> buttons[] = {
        {"downloadButton", "&Download..."},
        {"settingsButton", "Se&ttings..."},
        {"aboutButton", "A&bout..."},
        {"propertiesButton", "Prop&erties..."},
        {"startNowButton", "&Start Now"},
        {"queueButton", "Add to &Queue"},
        {"stopButton", "Sto&p"},
        {"launchButton", "&Launch File"},
        {"archiveButton", "Archive U&RL"},
        {"deleteFileButton", "Delete F&ile"},
        {"goFastButton", "Go &Fast"},
        {"pauseButton", "P&ause"},
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
    QTreeView* list = Find<QTreeView>("downloadList");
    QCOMPARE(list->model()->headerData(0, Qt::Horizontal).toString(), QString("Filename"));
    QCOMPARE(list->model()->headerData(2, Qt::Horizontal).toString(), QString("Status"));
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
    QPushButton* goFast = Find<QPushButton>("goFastButton");
    const auto face = [goFast] { return goFast->grab().toImage().pixelColor(6, 6).lightness(); };
    const int off = face();
    goFast->click();
    QVERIFY(off - face() > 40);  // a switched-on toggle stands out in the selection colour
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
      TreeLockGuard lock(app->tree().lock());
      QCOMPARE(app->tree().root().GetProp(setting::kGoFast), std::string("1"));
      QCOMPARE(app->tree().root().GetProp(setting::kOffline), std::string("1"));
    }
    // The one-second timer shows the speed state.
    QVERIFY(
        QTest::qWaitFor([this] { return Find<QLabel>("speedText")->text() == "OFFLINE"; }, 5000));
  }

  // What a screen reader switches switches the program; restoring the toggles
  // at start only shows them.
  void theTogglesFollowTheAccessibleToggleAction() {
    WriteStartedBefore([](Item& root) {
      root.SetPropInt(setting::kGoFast, 1);
      root.SetPropInt(setting::kOffline, 1);
    });
    app = std::make_unique<App>(dir->path(), messages, sounds, clock);
    window = std::make_unique<MainWindow>(*app, DesktopProbe{[] { return true; }});
    QSignalSpy goFastRestored(Find<QPushButton>("goFastButton"), &QAbstractButton::toggled);
    QSignalSpy offlineRestored(Find<QPushButton>("offlineButton"), &QAbstractButton::toggled);
    QVERIFY(window->Initialise());
    QCOMPARE(goFastRestored.count() + offlineRestored.count(), 0);
    window->show();
    const auto toggle = [this](const char* name) {
      QAccessible::queryAccessibleInterface(Find<QPushButton>(name))
          ->actionInterface()
          ->doAction(QAccessibleActionInterface::toggleAction());
    };
    for (const char* name : {"goFastButton", "offlineButton", "pauseButton", "goodNightButton"}) {
      toggle(name);
    }
    QVERIFY(!app->state().goFast);
    QVERIFY(!app->state().offline);
    QVERIFY(app->state().paused);
    QVERIFY(app->state().goodNight);
    toggle("offlineButton");
    QVERIFY(app->state().offline);
    QVERIFY(!app->state().goodNight);
    QVERIFY(!Find<QPushButton>("goodNightButton")->isChecked());
    TreeLockGuard lock(app->tree().lock());
    QCOMPARE(app->tree().root().GetProp(setting::kGoFast), std::string("0"));
  }

  void columnWidthsComeFromTheSettingsAndGoBackOnClose() {
    WriteStartedBefore([](Item& root) {
      root.SetPropInt(setting::kColumn1Width, 0);
      root.SetPropInt(setting::kColumn2Width, 222);
    });
    StartWindow();
    QTreeView* list = Find<QTreeView>("downloadList");
    QCOMPARE(list->columnWidth(0), 100);
    QCOMPARE(list->columnWidth(1), 222);
    // The status takes the spare width, also when another column changes.
    const auto others = [list] {
      int width = 0;
      for (int column = 0; column < list->model()->columnCount(); ++column) {
        width += column == 2 || list->isColumnHidden(column) ? 0 : list->columnWidth(column);
      }
      return width;
    };
    QVERIFY(others() >= 322);
    QCOMPARE(list->columnWidth(2), list->viewport()->width() - others());
    list->setColumnWidth(1, 150);
    QCOMPARE(list->columnWidth(2), list->viewport()->width() - others());
    window->reject();
    StopAndSave();
    const std::unique_ptr<Item> saved = SavedTree();
    QCOMPARE(saved->GetProp(setting::kColumn1Width), std::string("100"));
    QCOMPARE(saved->GetProp(setting::kColumn2Width), std::string("150"));
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
    app.reset();

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
    QVERIFY(messages.shown.empty());
    QVERIFY(!window->isVisible());
    cleanup();
    init();

    WriteStartedBefore();
    StartWindow();
    PretendDownloadsRunning(1);
    window->close();  // the close box
    QCOMPARE(messages.shown.size(), size_t{1});
    QCOMPARE(messages.shown[0].text,
             std::string("You have 1 file actively downloading.  Are you sure you want to exit "
                         "Pellmarsh?"));
    QCOMPARE(messages.shown[0].caption, std::string("Exit Pellmarsh?"));
    QVERIFY(window->isVisible());  // answered No

    PretendDownloadsRunning(2);
    messages.answer = MessageAnswer::kYes;
    window->close();
    QCOMPARE(messages.shown.size(), size_t{2});
    QVERIFY(messages.shown[1].text.find("2 files") != std::string::npos);
    QVERIFY(!window->isVisible());
  }

  void escapeDropsTheTypedUrlAndNeverCloses() {
    WriteStartedBefore();
    StartWindow();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QLineEdit* urlBox = Find<QLineEdit>("urlEdit");
    for (int running : {0, 1}) {
      PretendDownloadsRunning(running);
      urlBox->setText("http://127.0.0.1:1/a.zip");
      urlBox->setFocus();
      QTest::keyClick(urlBox, Qt::Key_Escape);
      QCOMPARE(urlBox->text(), QString());
      QTest::keyClick(Find<QTreeView>("downloadList"), Qt::Key_Escape);
      QVERIFY(window->isVisible());
    }
    QVERIFY(messages.shown.empty());
  }

  void theWindowRunsAsAnOrdinaryOneUntilItIsClosed() {
    WriteStartedBefore();
    StartWindow();
    bool modal = true;
    QTimer::singleShot(0, [&] {
      modal = window->isModal() || QApplication::activeModalWidget() != nullptr;
      window->close();
    });
    window->RunUntilClosed();
    QVERIFY(!modal);
    QVERIFY(!window->isVisible());
  }

  void enterOpensTheUrlDialogAndItsCancelAddsNothing() {
    WriteStartedBefore();
    StartWindow();
    QLineEdit* urlBox = Find<QLineEdit>("urlEdit");
    urlBox->setText("ftp.host/pub/f.zip");
    QStringList shown;
    bool logHidden = false;
    OnNextUrlDialog([&](QDialog* dialog) {
      shown << dialog->windowTitle() << Field(dialog, "urlEdit") << Field(dialog, "saveAsEdit")
            << Field(dialog, "loginEdit") << Field(dialog, "titleEdit")
            << dialog->findChild<QLabel*>("typeGuessText")->text();
      logHidden = !dialog->findChild<QWidget*>("logPart")->isVisible() &&
                  !dialog->findChild<QPushButton*>("viewLogButton")->isEnabled();
      dialog->findChild<QPushButton*>("cancelButton")->click();
    });
    QTest::keyClick(urlBox, Qt::Key_Return);
    QCOMPARE(shown, QStringList({"Pellmarsh: URL Properties", "ftp://ftp.host/pub/f.zip",
                                 QString::fromStdString(dir->File("download/f.zip")), "anonymous",
                                 "f.zip", "(Looks like Binary)"}));
    QVERIFY(logHidden);
    QCOMPARE(urlBox->text(), QString("ftp.host/pub/f.zip"));
    QCOMPARE(ListedCount(), 0);
    QVERIFY(window->isVisible());
    QVERIFY(messages.shown.empty());
  }

  void eachSaveButtonAddsTheTypedUrlWithItsStatus() {
    WriteStartedBefore();
    StartWindow();
    app->state().commandBusy = true;  // keeps the scheduler from moving the items on
    const std::pair<const char*, int> rows[] = {{"queueSaveButton", kStatusQueued},
                                                {"fetchSaveButton", kStatusStartNow},
                                                {"holdSaveButton", kStatusOnHold}};
    for (const auto& [button, status] : rows) {
      Find<QTabBar>("tabs")->setCurrentIndex(kTabArchive);
      Find<QLineEdit>("urlEdit")->setText("http://user:pw@127.0.0.1:1/a.zip");
      OnNextUrlDialog(
          [name = button](QDialog* dialog) { dialog->findChild<QPushButton*>(name)->click(); });
      Find<QPushButton>("downloadButton")->click();
      QVERIFY(Find<QLineEdit>("urlEdit")->text().isEmpty());
      QCOMPARE(Find<QTabBar>("tabs")->currentIndex(), int{kTabPending});
      TreeLockGuard lock(app->tree().lock());
      Item* list = app->tree().root().FindChild(folder::kFileList);
      const Item* item = list->ChildAt(list->ChildCount() - 1);
      QCOMPARE(item->GetPropInt(key::kStatus), status);
      QCOMPARE(item->GetProp(key::kValue), std::string("http://127.0.0.1:1/a.zip"));
      QCOMPARE(item->GetProp(key::kLogin), std::string("user"));
    }
    app->state().commandBusy = false;
  }

  // The dialog opens for an empty URL box, but saves only a URL that parses
  // and a speed limit that is a whole number; a URL typed without a scheme is
  // http.
  void theUrlDialogRefusesAnEmptyUrlAndTakesASchemelessOneAsHttp() {
    WriteStartedBefore();
    StartWindow();
    app->state().commandBusy = true;  // keeps the scheduler from moving the item on
    QStringList refusedWhileOpen;
    OnNextUrlDialog([&](QDialog* dialog) {
      const auto save = [&] {
        dialog->findChild<QPushButton*>("queueSaveButton")->click();
        if (dialog->isVisible() && !messages.shown.empty()) {
          refusedWhileOpen << QString::fromStdString(messages.shown.back().text);
        }
      };
      save();
      dialog->findChild<QLineEdit*>("urlEdit")->setText("127.0.0.1:8080/f.bin");
      dialog->findChild<QLineEdit*>("speedLimitEdit")->setText("fast");
      save();
      dialog->findChild<QLineEdit*>("speedLimitEdit")->setText(" 250 ");
      save();
    });
    Find<QPushButton>("downloadButton")->click();
    QCOMPARE(refusedWhileOpen.size(), 2);
    QVERIFY(refusedWhileOpen[0].startsWith("Malformed URL\r\n"));
    QCOMPARE(refusedWhileOpen[1], QString("Please enter an integer."));
    QCOMPARE(ListedCount(), 1);
    TreeLockGuard lock(app->tree().lock());
    const Item* item = app->tree().root().FindChild(folder::kFileList)->ChildAt(0);
    QCOMPARE(item->GetProp(key::kValue), std::string("http://127.0.0.1:8080/f.bin"));
    QCOMPARE(item->GetProp(key::kName), std::string("f.bin"));
    QCOMPARE(BudgetForLimit(item->GetPropDouble(key::kSpeedLimit)), 250'000);  // kB/s
    app->state().commandBusy = false;
  }

  // Ranges typed in the URL box show as typed in the dialog, whose save makes
  // one item per address with the dialog's choices and a file name of its own.
  void rangesInTheUrlBoxMakeOneItemPerAddressWithTheDialogsChoices() {
    WriteStartedBefore();
    StartWindow();
    app->state().commandBusy = true;  // keeps the scheduler from moving the items on
    Find<QLineEdit>("urlEdit")->setText("127.0.0.1:1/img[1-3].zip");
    QStringList shown;
    OnNextUrlDialog([&](QDialog* dialog) {
      shown << Field(dialog, "urlEdit") << Field(dialog, "saveAsEdit");
      dialog->findChild<QLineEdit*>("speedLimitEdit")->setText("250");
      dialog->findChild<QLineEdit*>("checksumEdit")->setText(QString(64, 'a'));
      dialog->findChild<QPushButton*>("holdSaveButton")->click();
    });
    Find<QPushButton>("downloadButton")->click();
    QCOMPARE(shown, QStringList({"127.0.0.1:1/img[1-3].zip", ""}));
    QCOMPARE(ListedCount(), 3);
    TreeLockGuard lock(app->tree().lock());
    const Item* list = app->tree().root().FindChild(folder::kFileList);
    for (int i = 0; i < 3; ++i) {
      const Item* item = list->ChildAt(i);
      const std::string name = "img" + std::to_string(i + 1) + ".zip";
      QCOMPARE(item->GetProp(key::kValue), "http://127.0.0.1:1/" + name);
      QCOMPARE(item->GetProp(key::kLocal), dir->File("download/" + name));
      QCOMPARE(item->GetPropInt(key::kStatus), int{kStatusOnHold});
      QCOMPARE(BudgetForLimit(item->GetPropDouble(key::kSpeedLimit)), 250'000);
      QCOMPARE(item->GetProp(key::kChecksum), std::string());  // one checksum fits one file
    }
    app->state().commandBusy = false;
  }

  void aCompleteItemsDialogIsRelabelledAndMasksPasswords() {
    WriteItemsOfEveryStatus();
    StartWindow();
    {
      TreeLockGuard lock(app->tree().lock());
      app->tree().root().SetPropInt(setting::kHidePasswords, 1);
    }
    Find<QTabBar>("tabs")->setCurrentIndex(kTabCompleted);
    SelectRow("done.zip");
    QStringList captions;
    QChar mask;
    QMap<QWidget*, QString> expected;
    QStringList misnamed;
    OnNextUrlDialog([&](QDialog* dialog) {
      for (const char* name : {"queueSaveButton", "fetchSaveButton", "holdSaveButton"}) {
        captions << dialog->findChild<QPushButton*>(name)->text();
      }
      auto* password = dialog->findChild<QLineEdit*>("passwordEdit");
      if (password->echoMode() == QLineEdit::Password) {
        mask = QChar(
            password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password));
      }
      // A screen reader names a button by its caption and a field by its label.
      // (On Linux a combo box reads out its entry and points at its label.)
      for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->buddy() && !qobject_cast<QComboBox*>(label->buddy())) {
          expected[label->buddy()] = label->text().remove('&');
        }
      }
      for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        expected[button] = button->text().remove('&');
      }
      for (auto [control, name] : expected.asKeyValueRange()) {
        if (QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name) != name) {
          misnamed << control->objectName();
        }
      }
      dialog->findChild<QPushButton*>("viewLogButton")->click();
      QVERIFY(dialog->findChild<QWidget*>("logPart")->isVisible());
      dialog->findChild<QPushButton*>("clearLogButton")->click();
      dialog->findChild<QPushButton*>("queueSaveButton")->click();
    });
    Find<QPushButton>("propertiesButton")->click();
    QCOMPARE(captions, QStringList({"Save, &No Fetch", "Save and &Fetch", "Save, &Queued"}));
    QCOMPARE(mask, QChar('*'));
    QCOMPARE(expected.size(), 16);
    QCOMPARE(misnamed.join(","), QString());
    TreeLockGuard lock(app->tree().lock());
    const Item* done = app->tree().root().FindByName("done.zip");
    QCOMPARE(done->GetPropInt(key::kStatus), int{kStatusOnHold});
    QCOMPARE(done->GetProp(key::kLog), std::string());
  }

  void dropsOfLinksAddQueuedItemsAndOthersNothing() {
    WriteStartedBefore();
    StartWindow();
    QMimeData plain;
    plain.setText("just some words");
    Drop(plain);
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir->File("pmarsh.dat")))});
    Drop(file);
    QCOMPARE(ListedCount(), 0);

    QMimeData link;  // as a browser drags it
    link.setData("text/uri-list", "http://127.0.0.1:1/a.zip\r\n");
    link.setText("http://127.0.0.1:1/a.zip");
    Drop(link);
    QCOMPARE(ListedCount(), 1);
    QMimeData twoLinks;
    twoLinks.setData("text/uri-list", "http://127.0.0.1:1/b.zip\r\nftp://127.0.0.1:1/c.zip\r\n");
    Drop(twoLinks);
    QCOMPARE(ListedCount(), 3);

    QMimeData gopher;
    gopher.setText("gopher://host/x");
    Drop(gopher);
    QCOMPARE(ListedCount(), 4);
    const auto failedForGood = [this] {
      TreeLockGuard lock(app->tree().lock());
      const Item* item = app->tree().root().FindChild(folder::kFileList)->ChildAt(3);
      return item->GetPropInt(key::kStatus) == kStatusFailed &&
             item->GetProp(key::kError) == "Unsupported protocol: gopher";
    };
    QVERIFY(QTest::qWaitFor(failedForGood, 10000));

    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::LinkAction, &plain, Qt::LeftButton,
                          Qt::NoModifier);
    static_cast<QObject*>(window.get())->event(&enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::LinkAction);
  }

  void aQuitRequestClosesWithoutAQuestion() {
    WriteStartedBefore();
    StartWindow();
    PretendDownloadsRunning(3);
    window->RequestQuit();
    QVERIFY(messages.shown.empty());
    QVERIFY(!window->isVisible());
    // Nothing saves or raises events while the worker threads stop.
    for (const QTimer* timer : window->findChildren<QTimer*>()) {
      QVERIFY(!timer->isActive());
    }
  }

  void theTabsShowEveryItemWithItsStatusText() {
    WriteItemsOfEveryStatus();
    StartWindow();
    // Sorted by status, highest first; the stopping item was put on hold at load.
    QCOMPARE(Column(0),
             QStringList({"paused.bin", "failed.bin", "queued.bin", "held.bin", "stopping.bin"}));
    QCOMPARE(Column(2), QStringList({"Paused", "Fatal Error: 404 Not Found", "Queued for download!",
                                     "On hold", "On hold"}));
    QCOMPARE(Column(1)[0], QString("http://example.invalid/paused.bin"));

    QTabBar* tabs = Find<QTabBar>("tabs");
    tabs->setCurrentIndex(kTabCompleted);
    QCOMPARE(Column(0), QStringList({"done.zip"}));
    QVERIFY(Column(2)[0].startsWith("6,000,000,000 bytes Complete!  Finished "));
    QCOMPARE(Find<QLabel>("hintText")->text(), QString("Double Click to Launch"));
    tabs->setCurrentIndex(kTabArchive);
    QCOMPARE(Column(0), QStringList({"old.bin"}));
    QCOMPARE(Find<QPushButton>("archiveButton")->text(), QString("Delete U&RL"));
    tabs->setCurrentIndex(kTabClipboard);
    QCOMPARE(Column(2), QStringList({"Clipped Sat, Dec 06, 2025"}));

    // A live change reaches its row at the next refresh, and a completed item changes tab.
    tabs->setCurrentIndex(kTabPending);
    {
      TreeLockGuard lock(app->tree().lock());
      Item* queued = app->tree().root().FindByName("queued.bin");
      // As the scheduler starts it: the reason it waited goes.
      queued->SetPropInt(key::kStatus, kStatusStarting);
      queued->SetProp(key::kWaitingFor, "");
      queued->SetProp(key::kProcess, "Resolving host");
      app->tree().root().FindByName("paused.bin")->SetPropInt(key::kStatus, kStatusComplete);
    }
    window->RefreshList();
    QVERIFY(Column(2).contains("Connecting: Resolving host"));
    QVERIFY(!Column(0).contains("paused.bin"));
  }

  void theMenuFollowsTheSelectionAndArchiveUrlIsSaved() {
    WriteItemsOfEveryStatus();
    std::vector<std::string> shownInFolder;
    StartWindow(false, [&shownInFolder](const std::string& path) {
      shownInFolder.push_back(path);
      return true;
    });
    Find<QTabBar>("tabs")->setCurrentIndex(kTabCompleted);
    SelectRow("done.zip");
    QVERIFY(Find<QPushButton>("launchButton")->isEnabled());
    QVERIFY(!Find<QPushButton>("stopButton")->isEnabled());
    QVERIFY(Find<QLabel>("hintText")->isEnabled());

    QStringList enabled;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      QVERIFY(menu);
      for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && action->isEnabled()) {
          enabled << action->text();
        }
      }
      menu->findChild<QAction*>("showInFolderEntry")->trigger();
      menu->close();
    });
    QTreeView* list = Find<QTreeView>("downloadList");
    emit list->customContextMenuRequested(QPoint(5, 5));
    QCOMPARE(enabled,
             QStringList({"&Properties...", "&Start Transfer Now", "Add to &Queue", "E&xtract URLs",
                          "&Launch File", "Show in F&older", "&View Transfer Log...", "Delete &URL",
                          "Delete &File", "&Nuke Everything"}));
    QCOMPARE(shownInFolder, std::vector<std::string>{dir->File("done.zip")});

    messages.answer = MessageAnswer::kYes;
    Find<QPushButton>("archiveButton")->click();
    QCOMPARE(list->model()->rowCount(), 0);
    QCOMPARE(messages.shown.size(), size_t{1});  // asked first, as the Delete key does
    window->reject();
    StopAndSave();
    const std::unique_ptr<Item> saved = SavedTree();
    const Item* archive = saved->FindChild("_filearchive");
    QVERIFY(archive && archive->FindChild("done.zip"));
    QCOMPARE(archive->FindChild("done.zip")->GetProp(key::kLog), std::string());
    QVERIFY(!saved->FindChild("_filelist")->FindChild("done.zip"));
  }

  // The Delete key runs the Archive URL button's command: a question whose
  // default keeps the row.
  void theDeleteKeyAsksAsTheButtonDoes() {
    WriteItemsOfEveryStatus();
    StartWindow();
    QTreeView* list = Find<QTreeView>("downloadList");
    SelectRow("held.bin");
    messages.answer = MessageAnswer::kNo;
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(messages.shown.size(), size_t{1});
    QCOMPARE(messages.shown[0].text,
             std::string("Move http://example.invalid/held.bin to the Archive?"));
    QVERIFY(messages.shown[0].defaultAnswer == MessageAnswer::kNo);
    QCOMPARE(RowsNamed("held.bin").size(), 1);
    messages.answer = MessageAnswer::kYes;
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(RowsNamed("held.bin").size(), 0);
  }

  void aLabelEditRenamesTheItemAndAnEmptyOneChangesNothing() {
    WriteItemsOfEveryStatus();
    StartWindow();
    QTreeView* list = Find<QTreeView>("downloadList");
    const QModelIndex row = RowsNamed("held.bin").value(0);
    QVERIFY(row.isValid());
    // What the editor does when the edit ends.
    QVERIFY(list->model()->setData(row, "kept.bin"));
    QVERIFY(list->model()->setData(RowsNamed("kept.bin").value(0), ""));
    QCOMPARE(RowsNamed("kept.bin").size(), 1);
    TreeLockGuard lock(app->tree().lock());
    const Item* item = app->tree().root().FindByName("kept.bin");
    QVERIFY(item);
    QVERIFY(item->GetPropInt64(key::kModified) >= clock.UnixTime() - 60);
  }

  // A running row's status cell paints a bar as long as its share received,
  // under the status text, which stays the cell's text for screen readers.
  void aRunningRowShowsItsProgressUnderItsText() {
    WriteItemsOfEveryStatus();
    StartWindow();
    QTreeView* list = Find<QTreeView>("downloadList");
    const QColor bar = list->palette().color(QPalette::Highlight);
    const auto isBar = [&bar](QColor pixel) {
      return std::abs(pixel.red() - bar.red()) + std::abs(pixel.green() - bar.green()) +
                 std::abs(pixel.blue() - bar.blue()) <
             60;
    };
    // The share of the status cell's pixel columns that show the bar's colour.
    const auto barShare = [&](int64_t received) {
      {
        TreeLockGuard lock(app->tree().lock());
        Item* item = app->tree().root().FindByName("queued.bin");
        item->SetPropInt(key::kStatus, kStatusTransferring);
        item->SetPropInt64(key::kSize, 200'000'000);
        item->SetPropInt64(key::kReceived, received);
      }
      window->RefreshList();
      const QModelIndex row = RowsNamed("queued.bin").value(0);
      const QImage cell =
          list->viewport()->grab(list->visualRect(row.siblingAtColumn(2))).toImage();
      int filled = 0;
      for (int x = 0; x < cell.width(); ++x) {
        int y = 0;
        while (y < cell.height() && !isBar(cell.pixelColor(x, y))) {
          ++y;
        }
        filled += y < cell.height() ? 1 : 0;
      }
      return static_cast<double>(filled) / cell.width();
    };
    QVERIFY(std::abs(barShare(50'000'000) - 0.25) < 0.1);
    QVERIFY(std::abs(barShare(150'000'000) - 0.75) < 0.1);

    const QModelIndex row = RowsNamed("queued.bin").value(0);
    const QString status = row.siblingAtColumn(2).data().toString();
    QVERIFY(!status.isEmpty());
    QAccessibleTableInterface* table =
        QAccessible::queryAccessibleInterface(list)->tableInterface();
    QCOMPARE(table->cellAt(row.row(), 2)->text(QAccessible::Name), status);
  }

  // The arrow shows the order; a second click on its header turns it round,
  // and each tab keeps its own order in its setting.
  void aSecondClickOnAHeaderReversesThatTabsOrder() {
    WriteItemsOfEveryStatus();
    StartWindow();
    QHeaderView* header = Find<QTreeView>("downloadList")->header();
    const auto click = [header](int column) {
      QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                        QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    const auto arrow = [header] {
      return std::pair(header->sortIndicatorSection(), header->sortIndicatorOrder());
    };
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(arrow(), std::pair(0, Qt::AscendingOrder));
    click(1);
    QStringList urls = Column(1);
    QVERIFY(std::is_sorted(urls.begin(), urls.end()));
    QCOMPARE(arrow(), std::pair(1, Qt::AscendingOrder));
    click(1);
    std::reverse(urls.begin(), urls.end());
    QCOMPARE(Column(1), urls);
    QCOMPARE(arrow(), std::pair(1, Qt::DescendingOrder));

    QTabBar* tabs = Find<QTabBar>("tabs");
    tabs->setCurrentIndex(kTabCompleted);
    QCOMPARE(arrow(), std::pair(int{kColumnFinished}, Qt::AscendingOrder));  // newest first
    tabs->setCurrentIndex(kTabPending);
    QCOMPARE(arrow(), std::pair(1, Qt::DescendingOrder));
    QCOMPARE(Column(1), urls);
    {
      TreeLockGuard lock(app->tree().lock());
      QCOMPARE(app->tree().root().GetPropInt(setting::TabSort(kTabPending)),
               kSortUrl | kSortReversed);
      QCOMPARE(app->tree().root().GetPropInt(setting::TabSort(kTabCompleted)), int{kSortStatus});
    }
    click(2);  // the same order as the Filename header's, but a first click on this one
    QCOMPARE(arrow(), std::pair(2, Qt::AscendingOrder));
    QCOMPARE(Column(0)[0], QString("paused.bin"));
  }

  void theKeysReachTheUrlBoxTabsRenamingPastingAndQuitting() {
    WriteItemsOfEveryStatus();
    // Copied before the start: the clipboard watcher clips only what is copied later.
    QGuiApplication::clipboard()->setText("http://127.0.0.1:1/pasted.zip");
    StartWindow();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTreeView* list = Find<QTreeView>("downloadList");
    QLineEdit* urlBox = Find<QLineEdit>("urlEdit");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_L, Qt::ControlModifier);
    QVERIFY(urlBox->hasFocus());

    QTabBar* tabs = Find<QTabBar>("tabs");
    const auto press = [tabs](Qt::Key key, Qt::KeyboardModifiers modifiers) {
      QTest::keyClick(QApplication::focusWidget(), key, modifiers);
      return tabs->currentIndex();
    };
    QCOMPARE(press(Qt::Key_Tab, Qt::ControlModifier), 1);
    QCOMPARE(press(Qt::Key_PageDown, Qt::ControlModifier), 2);
    QCOMPARE(press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier), 1);
    QCOMPARE(press(Qt::Key_PageUp, Qt::ControlModifier), 0);
    QCOMPARE(press(Qt::Key_PageUp, Qt::ControlModifier), 3);  // round to the last
    tabs->setCurrentIndex(kTabPending);

    // Ctrl+V in the URL box pastes text there; in the list, new items.
    const int listed = ListedCount();
    QTest::keyClick(urlBox, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(urlBox->text(), QString("http://127.0.0.1:1/pasted.zip"));
    QCOMPARE(ListedCount(), listed);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(ListedCount(), listed + 1);
    QVERIFY(Column(1).contains("http://127.0.0.1:1/pasted.zip"));

    SelectRow("held.bin");
    urlBox->setFocus();
    QTest::keyClick(urlBox, Qt::Key_F2);
    auto* nameEditor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(nameEditor && list->isAncestorOf(nameEditor));
    QCOMPARE(nameEditor->text(), QString("held.bin"));
    QTest::keyClick(nameEditor, Qt::Key_Escape);

    PretendDownloadsRunning(1);
    QTest::keyClick(list, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(messages.shown.size(), size_t{1});
    QCOMPARE(messages.shown[0].caption, std::string("Exit Pellmarsh?"));
    QVERIFY(window->isVisible());  // answered No
  }

  void eachAltLetterIsUsedOnceInTheWindowAndTheMenu() {
    WriteStartedBefore();
    StartWindow();
    // The letter after a single "&"; "&&" is a plain "&".
    const auto letter = [](QString caption) {
      caption.replace("&&", "");
      const qsizetype at = caption.indexOf('&');
      return at < 0 || at + 1 == caption.size() ? QChar() : caption.at(at + 1).toUpper();
    };
    const auto duplicates = [&letter](const QStringList& captions) {
      QMap<QChar, QStringList> owners;
      for (const QString& caption : captions) {
        if (!letter(caption).isNull()) {
          owners[letter(caption)] << caption;
        }
      }
      QStringList clashes;
      for (const QStringList& sharing : owners) {
        if (sharing.size() > 1) {
          clashes << sharing.join(" / ");
        }
      }
      return clashes.join("; ");
    };
    for (int tab = 0; tab < kListTabs; ++tab) {  // the archive button's caption follows the tab
      Find<QTabBar>("tabs")->setCurrentIndex(tab);
      QStringList captions;
      for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        captions << button->text();
      }
      for (const QLabel* label : window->findChildren<QLabel*>()) {
        captions << label->text();
      }
      QCOMPARE(duplicates(captions), QString());
    }
    QStringList menu;
    for (const MenuEntry& entry : PopupMenuEntries()) {
      if (entry.caption) {
        menu << entry.caption;
      }
    }
    QCOMPARE(duplicates(menu), QString());
  }

  // The header's menu hides and shows columns; each tab's order, widths and
  // shown columns come back at the next start.
  void theHeaderMenuHidesColumnsAndEachTabKeepsItsLayout() {
    WriteItemsOfEveryStatus();
    StartWindow();
    QTreeView* list = Find<QTreeView>("downloadList");
    QHeaderView* header = list->header();
    const auto pick = [header](const char* entryName) {
      bool found = false;
      QTimer::singleShot(0, [&found, entryName] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QAction* entry = menu ? menu->findChild<QAction*>(entryName) : nullptr;
        found = entry && entry->isCheckable();
        if (entry) {
          entry->trigger();
        }
        if (menu) {
          menu->close();
        }
      });
      emit header->customContextMenuRequested(QPoint(5, 5));
      return found;
    };
    QVERIFY(!header->isSectionHidden(kColumnSize));
    QVERIFY(pick("sizeColumnEntry"));
    QVERIFY(header->isSectionHidden(kColumnSize));
    QVERIFY(pick("finishedColumnEntry"));
    QVERIFY(!header->isSectionHidden(kColumnFinished));
    QVERIFY(pick("filenameColumnEntry"));  // greyed: the file name stays
    QVERIFY(!header->isSectionHidden(kColumnName));
    header->moveSection(header->visualIndex(kColumnUrl), 0);
    header->resizeSection(kColumnSpeed, 123);
    const ColumnLayout pending = static_cast<DownloadList*>(list)->Layout();

    // Another tab lays its columns out its own way, and gives the first back.
    QTabBar* tabs = Find<QTabBar>("tabs");
    tabs->setCurrentIndex(kTabCompleted);
    QVERIFY(!header->isSectionHidden(kColumnSize));
    QVERIFY(header->isSectionHidden(kColumnConnections));
    QCOMPARE(header->logicalIndex(0), int{kColumnName});
    QVERIFY(pick("addedColumnEntry"));
    const ColumnLayout completed = static_cast<DownloadList*>(list)->Layout();
    tabs->setCurrentIndex(kTabPending);
    QCOMPARE(ColumnLayoutText(static_cast<DownloadList*>(list)->Layout()),
             ColumnLayoutText(pending));

    window->reject();
    StopAndSave();
    // The next start reads the same data file.
    window.reset();
    app.reset();
    StartWindow();
    list = Find<QTreeView>("downloadList");
    header = list->header();
    QCOMPARE(header->logicalIndex(0), int{kColumnUrl});
    QVERIFY(header->isSectionHidden(kColumnSize));
    QVERIFY(!header->isSectionHidden(kColumnFinished));
    QCOMPARE(header->sectionSize(kColumnSpeed), 123);
    QCOMPARE(ColumnLayoutText(static_cast<DownloadList*>(list)->Layout()),
             ColumnLayoutText(pending));
    Find<QTabBar>("tabs")->setCurrentIndex(kTabCompleted);
    QCOMPARE(ColumnLayoutText(static_cast<DownloadList*>(list)->Layout()),
             ColumnLayoutText(completed));
    QVERIFY(!header->isSectionHidden(kColumnAdded));
  }

  // A refresh tells the view of the one row that changed, and of no other.
  void aRefreshRedrawsOnlyTheRowsThatChanged() {
    WriteItemsOfEveryStatus();
    StartWindow();
    QAbstractItemModel* rows = Find<QTreeView>("downloadList")->model();
    QSignalSpy changed(rows, &QAbstractItemModel::dataChanged);
    QSignalSpy reordered(rows, &QAbstractItemModel::layoutChanged);
    QSignalSpy inserted(rows, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(rows, &QAbstractItemModel::rowsRemoved);
    // The scheduler's first walk says why the queued item waits.
    QTRY_VERIFY([this] {
      TreeLockGuard lock(app->tree().lock());
      return !app->tree().root().FindByName("queued.bin")->GetProp(key::kWaitingFor).empty();
    }());
    window->RefreshList();
    changed.clear();
    window->RefreshList();
    QCOMPARE(changed.count(), 0);
    const auto write = [this](const char* name, const std::function<void(Item&)>& change) {
      {
        TreeLockGuard lock(app->tree().lock());
        change(*app->tree().root().FindByName(name));
      }
      window->RefreshList();
    };
    write("paused.bin", [](Item& item) {
      item.SetPropInt64(key::kSize, 4000);
      item.SetPropInt64(key::kReceived, 1000);
    });
    const int row = RowsNamed("paused.bin").value(0).row();
    QCOMPARE(changed.count(), 1);
    const auto first = changed[0][0].value<QModelIndex>();
    const auto last = changed[0][1].value<QModelIndex>();
    QCOMPARE(first.row(), row);
    QCOMPARE(last.row(), row);
    // Size and Progress, the cells that changed.
    QCOMPARE(first.column(), int{kColumnSize});
    QCOMPARE(last.column(), int{kColumnProgress});
    QCOMPARE(rows->index(row, kColumnProgress).data().toString(), QString("25%"));
    QCOMPARE(rows->index(row, kColumnProgress).data(Qt::AccessibleTextRole).toString(),
             QString("25%"));
    // A write that changes nothing shown redraws nothing.
    write("paused.bin", [](Item& item) { item.SetPropInt64(key::kModified, 5); });
    QCOMPARE(changed.count(), 1);
    QCOMPARE(reordered.count() + inserted.count() + removed.count(), 0);
  }

  void everyControlIsNamedForScreenReaders() {
    WriteStartedBefore();
    StartWindow();
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
      QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
      QVERIFY(accessible);
      QCOMPARE(accessible->text(QAccessible::Name), button->text().remove('&'));
      QVERIFY2(!button->toolTip().isEmpty(), qPrintable(button->objectName()));
    }
    QTreeView* downloads = Find<QTreeView>("downloadList");
    QStringList keys;
    for (const QWidget* owner :
         {static_cast<QWidget*>(window.get()), static_cast<QWidget*>(downloads)}) {
      for (const QAction* action : owner->actions()) {
        QVERIFY(!action->objectName().isEmpty());
        QVERIFY(!action->text().contains('&'));
        keys << action->shortcut().toString();
      }
    }
    QCOMPARE(keys, QStringList({"Ctrl+L", "Ctrl+Tab", "Ctrl+Shift+Backtab", "Ctrl+Q", "F2", "Space",
                                "Ctrl+V"}));
    QAccessibleInterface* url = QAccessible::queryAccessibleInterface(Find<QLineEdit>("urlEdit"));
    QCOMPARE(url->text(QAccessible::Name), QString("URL:"));
    QAccessibleInterface* list =
        QAccessible::queryAccessibleInterface(Find<QTreeView>("downloadList"));
    QVERIFY(!list->text(QAccessible::Name).isEmpty());
  }

  void theSettingsSheetWritesOnOkAndLetsVirusChecksGoOn() {
    WriteStartedBefore([](Item& root) { root.SetPropInt(setting::kBps, 0); });
    StartWindow();
    app->state().virusCheck.halted = true;
    const auto changeBpsAndLeave = [this](bool ok) {
      QTimer::singleShot(50, [this, ok] {
        auto* sheet = window->findChild<QDialog*>("settingsSheet");
        QVERIFY(sheet);
        sheet->findChild<QCheckBox*>("bpsCheck")->setChecked(true);
        ok ? sheet->accept() : sheet->reject();
      });
      QTest::mouseClick(Find<QPushButton>("settingsButton"), Qt::LeftButton);
    };
    changeBpsAndLeave(false);
    QVERIFY(app->state().virusCheck.halted);
    QCOMPARE(app->tree().Lock()->GetProp(setting::kBps), std::string("0"));
    changeBpsAndLeave(true);
    QVERIFY(!app->state().virusCheck.halted);
    StopAndSave();
    QCOMPARE(SavedTree()->GetProp(setting::kBps), std::string("1"));
  }

  void theFirstStartShowsTheAboutBoxThenTheSettingsSheet() {
    app = std::make_unique<App>(dir->path(), messages, sounds, clock);
    window = std::make_unique<MainWindow>(*app, DesktopProbe{});
    QStringList opened;
    QTimer::singleShot(50, [&] {
      auto* about = window->findChild<QDialog*>("aboutBox");
      opened << (about && about->isVisible() ? "about" : "none");
      QTimer::singleShot(50, [&] {
        auto* sheet = window->findChild<QDialog*>("settingsSheet");
        opened << (sheet && sheet->isVisible() ? "settings" : "none");
        if (sheet) {
          sheet->reject();
        }
      });
      if (about) {
        about->accept();
      }
    });
    QVERIFY(window->Initialise());
    QCOMPARE(opened, QStringList({"about", "settings"}));
  }

  void aQuitDuringTheFirstStartAboutBoxEndsTheStartUp() {
    app = std::make_unique<App>(dir->path(), messages, sounds, clock);
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
