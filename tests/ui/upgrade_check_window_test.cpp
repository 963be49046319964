// The upgrade check from the start-up through both downloads, against nginx.
#include <sys/stat.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "support/nginx_server.h"
#include "window_fixture.h"

namespace pellmarsh {

// Answers each question by its caption and keeps every message.
class CaptionAnswers final : public UserMessages {
 public:
  MessageAnswer Show(const UserMessage& message) override {
    MessageAnswer answer = MessageAnswer::kOk;
    {
      std::lock_guard lock(mutex);
      shown.push_back(message);
      if (const auto found = answers.find(message.caption); found != answers.end()) {
        answer = found->second;
      }
    }
    // As a signal does while the question is open: the box closes unanswered.
    if (message.caption == closeDuring && close) {
      close();
      return MessageAnswer::kNo;
    }
    return answer;
  }
  bool Said(const std::string& text) {
    std::lock_guard lock(mutex);
    return std::any_of(shown.begin(), shown.end(),
                       [&text](const UserMessage& message) { return message.text == text; });
  }

  std::mutex mutex;
  std::map<std::string, MessageAnswer> answers;
  std::vector<UserMessage> shown;
  std::string closeDuring;
  std::function<void()> close;
};

class UpgradeCheckWindowTest : public QObject {
  Q_OBJECT

 private:
  static constexpr int64_t kDay = 86400;

  void StartWithLastCheck(int64_t daysAgo, const std::string& page) {
    nginx.AddFile("/pellmarsh/upgradecheck.html", page);
    fixture = std::make_unique<testing::WindowFixture>();
    lastCheck = fixture->clock.UnixTime() - daysAgo * kDay;
    fixture->WriteStartedBefore([this](Item& root) {
      root.SetPropInt(setting::kCheckNewVersion, 1);
      root.SetPropInt64(setting::kCheckNewTime, lastCheck);
      root.SetProp(setting::kUpgradeUrl, nginx.Url("/"));
    });
    QVERIFY(fixture->Start({[] { return false; }}, &answers));
  }

  // The upgrade items of the pending list by their "autoupdate".
  std::vector<int> UpgradeItems() {
    Tree::Access tree(fixture->app->tree());
    std::vector<int> kinds;
    Item& list = tree->FindOrCreateChild(folder::kFileList);
    for (int index = 0; index < list.ChildCount(); ++index) {
      kinds.push_back(list.ChildAt(index)->GetPropInt(key::kAutoUpdate));
    }
    return kinds;
  }

  int64_t CheckTime() {
    Tree::Access tree(fixture->app->tree());
    return tree->GetPropInt64(setting::kCheckNewTime);
  }

  std::string DownloadDir() { return fixture->dir.File("download"); }

  // A program download that a redirect renames to a desktop entry.
  static testing::NginxServer::Options Redirecting() {
    testing::NginxServer::Options options;
    options.redirects.push_back({"/moved/pellmarsh/pellmarsh.exe", 302, "/payload/run.desktop"});
    return options;
  }

  testing::NginxServer nginx{Redirecting()};
  CaptionAnswers answers;
  int64_t lastCheck = 0;
  std::unique_ptr<testing::WindowFixture> fixture;

 private slots:
  void initTestCase() {
    QVERIFY(static_cast<bool>(nginx.Start()));
    nginx.AddFile("/pellmarsh/pellmarsh.exe", "new program");
  }

  void init() {
    answers.shown.clear();
    answers.closeDuring.clear();
    answers.answers = {{"Pellmarsh: Upgrade Available!", MessageAnswer::kYes},
                       {"Pellmarsh: Upgrade Now?", MessageAnswer::kNo}};
  }

  void cleanup() { fixture.reset(); }

  void aNewerVersionIsFetchedAndNoLeavesItInTheCompletedDownloads() {
    StartWithLastCheck(31, "<html>\nCurrent Version: [1.3]\n</html>\n");
    QVERIFY(CheckTime() > lastCheck);
    QTRY_VERIFY_WITH_TIMEOUT(answers.Said("You can launch the upgrade manually whenever you want."),
                             20000);
    QVERIFY(answers.Said(
        "Version 1.3 of Pellmarsh is available.\r\nYou are running version 1.2d.\r\n\r\n"
        "Would you like to download the new version now?"));
    QCOMPARE(UpgradeItems(), std::vector<int>{2});
    {
      Tree::Access tree(fixture->app->tree());
      QCOMPARE(tree->FindOrCreateChild(folder::kFileList).ChildAt(0)->GetPropInt(key::kStatus),
               int{kStatusComplete});
    }
    QVERIFY(!testing::FileExistsOnDisk(DownloadDir() + "/upgradecheck.html"));
    struct stat info {};
    QCOMPARE(::stat((DownloadDir() + "/pellmarsh.exe").c_str(), &info), 0);
    QCOMPARE(info.st_mode & 0111, 0u);
    QVERIFY(!fixture->app->state().noExitPrompt);
  }

  void onlyTheNewestIsOfferedAndACloseEndsTheOfferAtOnce() {
    answers.closeDuring = "Pellmarsh: Upgrade Available!";
    answers.close = [this] { fixture->window->RequestQuit(); };
    StartWithLastCheck(31,
                       "Current Version: [1.3]\nCurrent Version: [1.5]\nCurrent Version: [1.4]\n");
    QTRY_VERIFY_WITH_TIMEOUT(fixture->window->isHidden(), 20000);
    std::lock_guard lock(answers.mutex);
    QCOMPARE(answers.shown.size(), size_t{1});
    QVERIFY(answers.shown[0].text.starts_with("Version 1.5 of Pellmarsh is available."));
  }

  void aPageWithNothingNewerIsDeletedWithoutAQuestion() {
    StartWithLastCheck(31,
                       "Current Version: [1.2d]\nCurrent Version: [1.10]\nCurrent Version: [1.3\n");
    QCOMPARE(UpgradeItems(), std::vector<int>{1});
    QTRY_VERIFY_WITH_TIMEOUT(UpgradeItems().empty(), 20000);
    QVERIFY(!testing::FileExistsOnDisk(DownloadDir() + "/upgradecheck.html"));
    QVERIFY(answers.shown.empty());
  }

  void withoutASiteNothingIsFetchedAndCheckNowSaysSo() {
    fixture = std::make_unique<testing::WindowFixture>();
    fixture->WriteStartedBefore([](Item& root) { root.SetPropInt(setting::kCheckNewVersion, 1); });
    QVERIFY(fixture->Start({[] { return false; }}, &answers));
    QVERIFY(UpgradeItems().empty());
    fixture->window->CheckUpgradeNow();
    QVERIFY(UpgradeItems().empty());
    QVERIFY(answers.Said("No upgrade site is set."));
  }

  // The site typed on the settings page is checked at once, with the sheet still open.
  void checkNowInTheSettingsFetchesFromTheTypedSite() {
    nginx.AddFile("/pellmarsh/upgradecheck.html", "Current Version: [1.2d]\n");
    fixture = std::make_unique<testing::WindowFixture>();
    fixture->WriteStartedBefore();
    QVERIFY(fixture->Start({[] { return false; }}, &answers));
    std::vector<int> queuedWithTheSheetOpen;
    QTimer::singleShot(50, [&] {
      auto* sheet = testing::OpenDialog<QDialog>("settingsSheet");
      QVERIFY(sheet);
      sheet->findChild<QLineEdit*>("upgradeUrlEdit")
          ->setText(QString::fromStdString(nginx.Url("/")));
      sheet->findChild<QPushButton*>("checkNowButton")->click();
      queuedWithTheSheetOpen = UpgradeItems();
      QVERIFY(sheet->isVisible());
      sheet->reject();
    });
    fixture->window->findChild<QPushButton*>("settingsButton")->click();
    QCOMPARE(queuedWithTheSheetOpen, std::vector<int>{1});
    QVERIFY(answers.shown.empty());
    QTRY_VERIFY_WITH_TIMEOUT(UpgradeItems().empty(), 20000);
  }

  // Yes shows the program, whatever a redirect named it, and never opens it.
  void yesShowsTheDownloadInTheFileManagerAndSaysWhereItIs() {
    nginx.AddFile("/moved/pellmarsh/upgradecheck.html", "Current Version: [1.3]\n");
    nginx.AddFile("/payload/run.desktop", "[Desktop Entry]\nExec=true\n");
    answers.answers["Pellmarsh: Upgrade Now?"] = MessageAnswer::kYes;
    fixture = std::make_unique<testing::WindowFixture>();
    fixture->WriteStartedBefore(
        [this](Item& root) { root.SetProp(setting::kUpgradeUrl, nginx.Url("/moved")); });
    std::vector<std::string> shownFiles;
    DesktopProbe probe{[] { return false; }};
    probe.showFile = [&shownFiles](const std::string& path) {
      shownFiles.push_back(path);
      return true;
    };
    QVERIFY(fixture->Start(probe, &answers));  // the monthly check is due
    QTRY_VERIFY_WITH_TIMEOUT(!fixture->window->isVisible(), 20000);
    const std::string saved = DownloadDir() + "/run.desktop";
    QCOMPARE(shownFiles, std::vector<std::string>{saved});
    QVERIFY(answers.Said("The new Pellmarsh is saved as\r\n" + saved +
                         "\r\n\r\nIts folder is open in your file manager: install it from "
                         "there once Pellmarsh has closed."));
    QVERIFY(fixture->app->state().noExitPrompt);
  }

  void twentyNineDaysAfterTheLastCheckNothingIsFetched() {
    StartWithLastCheck(29, "Current Version: [1.3]\n");
    QVERIFY(UpgradeItems().empty());
    QCOMPARE(CheckTime(), lastCheck);
  }
};

}  // namespace pellmarsh

QTEST_MAIN(pellmarsh::UpgradeCheckWindowTest)
#include "upgrade_check_window_test.moc"
