#include <QApplication>
#include <QClipboard>
#include <QTabBar>
#include <QTest>

#include "app/app.h"
#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "ui/list_rows.h"
#include "ui/main_window.h"

namespace pellmarsh {

// The window's two ways of capturing URLs: the clipboard and the Extract URLs command.
class UrlCaptureTest : public QObject {
  Q_OBJECT

 private:
  // Offline, so nothing queued starts downloading.
  void StartWindow(const std::function<void(Item&)>& adjust) {
    Item root;
    MarkFirstStart(root, 1765000000);
    root.SetPropInt(setting::kOffline, 1);
    adjust(root);
    testing::WriteFile(dir->File("pmarsh.dat"), SaveTree(root));
    app = std::make_unique<App>(dir->path(), hooked, sounds, clock);
    window = std::make_unique<MainWindow>(*app, DesktopProbe{[] { return false; }});
    QVERIFY(window->Initialise());
    window->show();
  }

  // "value:status" of each clipped item, oldest first.
  QStringList Clipped() {
    auto tree = app->tree().Lock();
    QStringList described;
    if (const Item* clip = tree->FindByName(folder::kFileClip)) {
      for (int i = 0; i < clip->ChildCount(); ++i) {
        described << QString::fromStdString(clip->ChildAt(i)->GetProp(key::kValue) + ":" +
                                            clip->ChildAt(i)->GetProp(key::kStatus));
      }
    }
    return described;
  }

  int Shown(const std::string& caption) {
    std::lock_guard lock(messages.mutex);
    return int(std::count_if(messages.shown.begin(), messages.shown.end(),
                             [&](const UserMessage& shown) { return shown.caption == caption; }));
  }

  int ListedCount() {
    auto tree = app->tree().Lock();
    const Item* list = tree->FindByName(folder::kFileList);
    return list ? list->ChildCount() : 0;
  }

  int CurrentTab() { return window->findChild<QTabBar*>()->currentIndex(); }

  std::unique_ptr<testing::TempDir> dir;
  testing::RecordingMessages messages;
  // Runs `during` once while the next message is open.
  struct HookedMessages final : UserMessages {
    explicit HookedMessages(UserMessages& inner) : inner(inner) {}
    MessageAnswer Show(const UserMessage& message) override {
      if (during) {
        std::exchange(during, nullptr)();
      }
      return inner.Show(message);
    }
    UserMessages& inner;
    std::function<void()> during;
  } hooked{messages};
  testing::RecordingSounds sounds;
  SystemClock clock;
  std::unique_ptr<App> app;
  std::unique_ptr<MainWindow> window;

 private slots:
  void init() {
    dir = std::make_unique<testing::TempDir>();
    messages.shown.clear();
    messages.answer = MessageAnswer::kCancel;
  }

  void cleanup() {
    if (app && app->workersRunning()) {
      app->StopWorkers([this] { clock.SleepMs(20); });
    }
    window.reset();
    app.reset();
    dir.reset();
  }

  void aCopiedUrlIsClippedAndOfferedOnce() {
    StartWindow([](Item& root) { root.SetPropInt(setting::kClipAndGo, 1); });
    QCOMPARE(CurrentTab(), int(kTabPending));
    QGuiApplication::clipboard()->setText("http://example.invalid/a.zip");
    QTRY_COMPARE(Clipped(), QStringList{"http://example.invalid/a.zip:6"});
    QCOMPARE(CurrentTab(), int(kTabClipboard));
    QTRY_COMPARE_WITH_TIMEOUT(Shown("Pellmarsh: Clip and Go"), 1, 3000);
    QCOMPARE(messages.shown.back().text,
             "http://example.invalid/a.zip\r\n\r\nPut this URL on the download queue?");
    {
      auto tree = app->tree().Lock();
      QCOMPARE(app->state().clipAndGoItem, nullptr);  // asked once, then forgotten
    }
    // Known now: copied again it captures and asks nothing.
    QGuiApplication::clipboard()->setText("x");
    QGuiApplication::clipboard()->setText("http://example.invalid/a.zip");
    QCOMPARE(Clipped().size(), 1);
  }

  // The user may delete the clipped item while the question is open.
  void okForAnItemDeletedMeanwhileQueuesNothing() {
    StartWindow([](Item& root) { root.SetPropInt(setting::kClipAndGo, 1); });
    QGuiApplication::clipboard()->setText("http://example.invalid/gone.zip");
    QTRY_COMPARE(Clipped().size(), 1);
    Item* item = nullptr;
    {
      auto tree = app->tree().Lock();
      item = tree->FindByName(folder::kFileClip)->ChildAt(0);
    }
    messages.answer = MessageAnswer::kOk;
    hooked.during = [&] { window->commands().RunItemCommand(kCommandArchiveOrDelete, {item}); };
    QTRY_COMPARE_WITH_TIMEOUT(Shown("Pellmarsh: Clip and Go"), 1, 3000);
    QVERIFY(Clipped().isEmpty());
    QCOMPARE(ListedCount(), 0);
  }

  void clipStartQueuesWithoutAsking() {
    StartWindow([](Item& root) {
      root.SetPropInt(setting::kClipAndGo, 1);
      root.SetPropInt(setting::kClipStart, 1);
    });
    QGuiApplication::clipboard()->setText("http://example.invalid/b.zip");
    QTRY_COMPARE(ListedCount(), 1);
    auto tree = app->tree().Lock();
    const Item* list = tree->FindByName(folder::kFileList);
    QVERIFY(list && list->ChildCount() == 1);
    QCOMPARE(list->ChildAt(0)->GetPropInt(key::kStatus), int(kStatusQueued));
    QCOMPARE(Shown("Pellmarsh: Clip and Go"), 0);
  }

  void extractionOfMoreThanTwoHundredLinksAsksFirst() {
    std::string page;
    for (int i = 0; i < 201; ++i) {
      page += "<a href=\"f" + std::to_string(i) + ".zip\">\n";
    }
    testing::WriteFile(dir->File("page.html"), page);
    StartWindow([&](Item& root) {
      Item& item = root.FindOrCreateChild(folder::kFileList).AddChild(std::make_unique<Item>());
      item.SetProp(key::kType, "_url");
      item.SetProp(key::kValue, "http://example.invalid/dir/page.html");
      item.SetProp(key::kLocal, dir->File("page.html"));
      item.SetPropInt(key::kStatus, kStatusComplete);
    });
    Item* item = nullptr;
    {
      auto tree = app->tree().Lock();
      item = tree->FindByName(folder::kFileList)->ChildAt(0);
    }
    window->commands().RunItemCommand(kCommandExtractUrls, {item});
    QCOMPARE(Shown("Pellmarsh: Continue Extraction?"), 1);
    QVERIFY(messages.shown.back().text.starts_with(
        "Extracting URLs from http://example.invalid/dir/page.html.\r\n\r\nPellmarsh has found "
        "201 potential URLs.\r\n"));
    QVERIFY(Clipped().isEmpty());
    QCOMPARE(CurrentTab(), int(kTabPending));

    messages.answer = MessageAnswer::kOk;
    window->commands().RunItemCommand(kCommandExtractUrls, {item});
    QCOMPARE(Clipped().size(), 201);
    QCOMPARE(Clipped().back(), QString("http://example.invalid/dir/f200.zip:6"));
    QCOMPARE(CurrentTab(), int(kTabClipboard));
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::UrlCaptureTest)
#include "url_capture_test.moc"
