#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include "app/app.h"
#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"
#include "view/list_rows.h"
#include "window_fixture.h"

namespace pellmarsh {

// The window's two ways of capturing URLs: the clipboard and the Extract URLs command.
class UrlCaptureTest : public QObject {
  Q_OBJECT

 private:
  // Offline, so nothing queued starts downloading.
  void StartWindow(const std::function<void(Item&)>& adjust) {
    fixture->WriteStartedBefore([&](Item& root) {
      root.SetPropInt(setting::kOffline, 1);
      adjust(root);
    });
    QVERIFY(fixture->Start(DesktopProbe{[] { return false; }}, hooked.get()));
  }

  // "value:status" of each clipped item, oldest first.
  QStringList Clipped() {
    Tree::Access tree(fixture->app->tree());
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
    std::lock_guard lock(fixture->messages.mutex);
    return int(std::count_if(fixture->messages.shown.begin(), fixture->messages.shown.end(),
                             [&](const UserMessage& shown) { return shown.caption == caption; }));
  }

  int ListedCount() {
    Tree::Access tree(fixture->app->tree());
    const Item* list = tree->FindByName(folder::kFileList);
    return list ? list->ChildCount() : 0;
  }

  int CurrentTab() { return fixture->window->findChild<QTabBar*>()->currentIndex(); }

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
  };

  std::unique_ptr<testing::WindowFixture> fixture;
  std::unique_ptr<HookedMessages> hooked;

 private slots:
  void init() {
    fixture = std::make_unique<testing::WindowFixture>();
    hooked = std::make_unique<HookedMessages>(fixture->messages);
    fixture->messages.answer = MessageAnswer::kCancel;
  }

  void cleanup() {
    fixture.reset();
    hooked.reset();
  }

  void aCopiedUrlIsClippedAndOfferedOnce() {
    StartWindow([](Item& root) { root.SetPropInt(setting::kClipAndGo, 1); });
    QCOMPARE(CurrentTab(), int(kTabPending));
    QGuiApplication::clipboard()->setText("http://example.invalid/a.zip");
    QTRY_COMPARE(Clipped(), QStringList{"http://example.invalid/a.zip:6"});
    QCOMPARE(CurrentTab(), int(kTabClipboard));
    QTRY_COMPARE_WITH_TIMEOUT(Shown("Pellmarsh: Clip and Go"), 1, 3000);
    QCOMPARE(fixture->messages.shown.back().text,
             "http://example.invalid/a.zip\r\n\r\nPut this URL on the download queue?");
    {
      Tree::Access tree(fixture->app->state().tree);
      QCOMPARE(fixture->app->state().clipAndGoItem, nullptr);  // asked once, then forgotten
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
      Tree::Access tree(fixture->app->tree());
      item = tree->FindByName(folder::kFileClip)->ChildAt(0);
    }
    fixture->messages.answer = MessageAnswer::kOk;
    hooked->during = [&] {
      fixture->messages.answer = MessageAnswer::kYes;  // to "Delete ... from the list?"
      fixture->window->commands().RunItemCommand(kCommandArchiveOrDelete, {item});
      fixture->messages.answer = MessageAnswer::kOk;
    };
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
    Tree::Access tree(fixture->app->tree());
    const Item* list = tree->FindByName(folder::kFileList);
    QVERIFY(list && list->ChildCount() == 1);
    QCOMPARE(list->ChildAt(0)->GetPropInt(key::kStatus), int(kStatusQueued));
    QCOMPARE(Shown("Pellmarsh: Clip and Go"), 0);
  }

  // A capture inside another command's question queues without lending that
  // command the "QUEUE" sound.
  void clipStartDuringAnotherCommandsQuestionSoundsNothing() {
    testing::WriteFile(fixture->dir.File("done.zip"), "x");
    StartWindow([&](Item& root) {
      root.SetPropInt(setting::kClipAndGo, 1);
      root.SetPropInt(setting::kClipStart, 1);
      root.SetPropInt(setting::kSoundOn, 1);
      root.FindOrCreateChild(folder::kSoundConfig)
          .FindOrCreateChild("QUEUE")
          .SetProp(key::kFile, "/queue.wav");
      testing::AddQueuedUrl(root, "http://example.invalid/done.zip", fixture->dir.File("done.zip"))
          .SetPropInt(key::kStatus, kStatusComplete);
    });
    Item* done = nullptr;
    {
      Tree::Access tree(fixture->app->tree());
      done = tree->FindByName(folder::kFileList)->ChildAt(0);
    }
    hooked->during = [this] {
      QGuiApplication::clipboard()->setText("http://example.invalid/c.zip");
      QTRY_COMPARE(ListedCount(), 2);
    };
    fixture->messages.answer = MessageAnswer::kNo;  // "Move ...done.zip to the Trash?"
    fixture->window->commands().RunItemCommand(kCommandDeleteFile, {done});
    QCOMPARE(ListedCount(), 2);
    std::lock_guard lock(fixture->sounds.mutex);
    QCOMPARE(fixture->sounds.played, std::vector<std::string>{});
  }

  // The File Exists dialog of a Clip-and-Go keeps its "All" answers.
  void clipAndGoAsksAboutAFileInTheWayWithEveryAnswer() {
    StartWindow([](Item& root) { root.SetPropInt(setting::kClipAndGo, 1); });
    QGuiApplication::clipboard()->setText("http://example.invalid/d.zip");
    QTRY_COMPARE(Clipped().size(), 1);
    std::string local;
    {
      Tree::Access tree(fixture->app->tree());
      local = tree->FindByName(folder::kFileClip)->ChildAt(0)->GetProp(key::kLocal);
    }
    // The file turns up while the question is open.
    hooked->during = [&local] { testing::WriteFile(local, "partial"); };
    fixture->messages.answer = MessageAnswer::kOk;
    bool allOffered = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      if (auto* dialog = testing::OpenDialog<QDialog>("fileExistsDialog")) {
        allOffered = dialog->findChild<QPushButton*>("overwriteAllButton")->isEnabled() &&
                     dialog->findChild<QPushButton*>("resumeAllButton")->isEnabled();
        dialog->findChild<QPushButton*>("resumeButton")->click();
      }
    });
    poll.start(20);
    QTRY_COMPARE_WITH_TIMEOUT(ListedCount(), 1, 3000);
    QVERIFY(allOffered);
  }

  void extractionOfMoreThanTwoHundredLinksAsksFirst() {
    std::string page;
    for (int i = 0; i < 201; ++i) {
      page += "<a href=\"f" + std::to_string(i) + ".zip\">\n";
    }
    testing::WriteFile(fixture->dir.File("page.html"), page);
    StartWindow([&](Item& root) {
      Item& item = root.FindOrCreateChild(folder::kFileList).AddChild(std::make_unique<Item>());
      item.SetProp(key::kType, "_url");
      item.SetProp(key::kValue, "http://example.invalid/dir/page.html");
      item.SetProp(key::kLocal, fixture->dir.File("page.html"));
      item.SetPropInt(key::kStatus, kStatusComplete);
    });
    Item* item = nullptr;
    {
      Tree::Access tree(fixture->app->tree());
      item = tree->FindByName(folder::kFileList)->ChildAt(0);
    }
    fixture->window->commands().RunItemCommand(kCommandExtractUrls, {item});
    QCOMPARE(Shown("Pellmarsh: Continue Extraction?"), 1);
    QVERIFY(fixture->messages.shown.back().text.starts_with(
        "Extracting URLs from http://example.invalid/dir/page.html.\r\n\r\nPellmarsh has found "
        "201 potential URLs.\r\n"));
    QVERIFY(Clipped().isEmpty());
    QCOMPARE(CurrentTab(), int(kTabPending));

    fixture->messages.answer = MessageAnswer::kOk;
    // The window's timers go on while the page is scanned.
    bool timerRan = false;
    QTimer::singleShot(0, [&timerRan] { timerRan = true; });
    fixture->window->commands().RunItemCommand(kCommandExtractUrls, {item});
    QVERIFY(timerRan);
    QCOMPARE(Clipped().size(), 201);
    QCOMPARE(Clipped().back(), QString("http://example.invalid/dir/f200.zip:6"));
    QCOMPARE(CurrentTab(), int(kTabClipboard));
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::UrlCaptureTest)
#include "url_capture_test.moc"
