// Another program copies a URL on a real X display; the running window
// captures it. Skipped when Xvfb cannot start here.
#include <QApplication>
#include <QTabBar>
#include <QTest>
#include <QTreeView>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "app/app.h"
#include "store/builtin_tree.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/child_process.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "ui/main_window.h"
#include "view/list_rows.h"

namespace pellmarsh {
namespace {

constexpr int kSkipped = 77;  // ctest's SKIP_RETURN_CODE for this test

// Starts Xvfb on a display it picks itself; the display's name, or empty.
std::string StartXvfb(testing::ChildProcess& xvfb, const std::string& output) {
  if (!xvfb.Start(
          {"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"},
          output)) {
    return std::string();
  }
  std::string number;
  testing::WaitFor(
      [&] {
        // Its complaints about displays already taken come first, on the same file.
        std::istringstream lines(testing::ReadFile(output));
        for (std::string line; number.empty() && std::getline(lines, line);) {
          if (!line.empty() && std::all_of(line.begin(), line.end(), ::isdigit) && !lines.eof()) {
            number = line;
          }
        }
        return !number.empty() || !xvfb.Running();
      },
      std::chrono::seconds(10));
  return number.empty() ? std::string() : ":" + number;
}

}  // namespace

class X11ClipboardTest : public QObject {
  Q_OBJECT

 private slots:
  void aUrlCopiedByAnotherProgramIsCaptured() {
    testing::TempDir dir;
    testing::RecordingMessages messages;
    messages.answer = MessageAnswer::kCancel;
    testing::RecordingSounds sounds;
    SystemClock clock;
    Item saved;
    MarkFirstStart(saved, 1765000000);
    saved.SetPropInt(setting::kOffline, 1);
    saved.SetPropInt(setting::kClipAndGo, 1);
    testing::WriteFile(dir.File("pmarsh.dat"), SaveTree(saved));
    App app(dir.path(), messages, sounds, clock);
    MainWindow window(app, DesktopProbe{[] { return false; }});
    QVERIFY(window.Initialise());
    window.show();

    const std::string url = "http://example.invalid/copied.zip";
    testing::WriteFile(dir.File("url.txt"), url);
    testing::ChildProcess xclip;
    // -quiet keeps it in the foreground, serving the selection until stopped.
    QVERIFY2(
        xclip.Start({"/usr/bin/xclip", "-quiet", "-selection", "clipboard", dir.File("url.txt")},
                    dir.File("xclip.log")),
        xclip.error().c_str());

    auto clipped = [&] {
      Tree::Access tree(app.tree());
      const Item* clip = tree->FindByName(folder::kFileClip);
      return clip && clip->ChildCount() == 1 && clip->ChildAt(0)->GetProp(key::kValue) == url;
    };
    QTRY_VERIFY_WITH_TIMEOUT(clipped(), 10000);
    QCOMPARE(window.findChild<QTabBar*>()->currentIndex(), int(kTabClipboard));
    QTRY_COMPARE(window.findChild<QTreeView*>("downloadList")->model()->rowCount(), 1);
    auto asked = [&] {
      std::lock_guard lock(messages.mutex);
      return messages.shown.size() == 1 && messages.shown[0].caption == "Pellmarsh: Clip and Go";
    };
    QTRY_VERIFY_WITH_TIMEOUT(asked(), 5000);
    xclip.Stop();
    app.StopWorkers([&clock] { clock.SleepMs(20); });
  }
};

}  // namespace pellmarsh

int main(int argc, char** argv) {
  pellmarsh::testing::TempDir dir;
  pellmarsh::testing::ChildProcess xvfb;
  const std::string display = pellmarsh::StartXvfb(xvfb, dir.File("xvfb.log"));
  if (display.empty()) {
    std::printf("SKIP: Xvfb could not start: %s\n",
                pellmarsh::testing::ReadFile(dir.File("xvfb.log")).c_str());
    return pellmarsh::kSkipped;
  }
  setenv("DISPLAY", display.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  int result;
  {
    QApplication application(argc, argv);
    pellmarsh::X11ClipboardTest test;
    result = QTest::qExec(&test, argc, argv);
  }
  xvfb.Stop();
  return result;
}

#include "x11_clipboard_test.moc"
