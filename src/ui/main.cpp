#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>

#include "app/app.h"
#include "app/command_line.h"
#include "desktop/native_messaging_bridge.h"
#include "desktop/qt_link_service.h"
#include "desktop/qt_network_manager.h"
#include "desktop/qt_signal_bridge.h"
#include "desktop/qt_sound_player.h"
#include "desktop/qt_user_messages.h"
#include "platform/clock.h"
#include "platform/data_folders.h"
#include "platform/instance_lock.h"
#include "platform/large_buffers.h"
#include "platform/program_dir.h"
#include "ui/closing_notice.h"
#include "ui/main_window.h"
#include "ui/window_links.h"

namespace {

// Why this start cannot go on: another instance, or a lock file that failed.
void SayCannotStart(const std::string& failure) {
  const std::string text = failure.empty() ? "Pellmarsh is already running." : failure;
  std::fprintf(stderr, "%s\n", text.c_str());
  // Without a display there is nobody to press OK.
  if (QGuiApplication::platformName() != "offscreen") {
    QMessageBox box(QMessageBox::Warning, "Pellmarsh", QString::fromStdString(text));
    box.setTextFormat(Qt::PlainText);  // a lock failure names a path
    box.exec();
  }
}

using pellmarsh::CommandLine;

// An instance that has just taken the lock owns its bus name moments later.
constexpr std::chrono::seconds kRunningInstancePatience(3);

// Another start holds the program directory: the links go to it, or without
// links its window comes to the front. The exit status of this start.
int HandOverToRunningInstance(const CommandLine& line, const std::string& lockFailure,
                              int argumentStatus) {
  if (lockFailure.empty() && line.links.empty() && !line.problems.empty()) {
    return argumentStatus;  // nothing to hand over, and the reasons are told
  }
  if (lockFailure.empty() && !line.links.empty()) {
    if (const auto problems =
            pellmarsh::HandLinksToRunningInstance(line.links, kRunningInstancePatience)) {
      for (size_t index = 0; index < problems->size() && index < line.links.size(); ++index) {
        if (!(*problems)[index].empty()) {
          std::fprintf(stderr, "pellmarsh: %s: %s\n", line.links[index].c_str(),
                       (*problems)[index].c_str());
          argumentStatus = pellmarsh::kExitBadArgument;
        }
      }
      return argumentStatus;
    }
  }
  if (lockFailure.empty() && line.links.empty() &&
      pellmarsh::RaiseRunningInstance(kRunningInstancePatience)) {
    std::fprintf(stderr, "Pellmarsh is already running.\n");
    return 1;
  }
  SayCannotStart(lockFailure);
  return 1;
}

std::vector<std::string> Arguments(int argc, char** argv) {
  return {argv + 1, argv + argc};
}

// --help, --version and the browser's native messaging need no window: their
// exit status, or nothing for a start of the program itself.
std::optional<int> AnswerWithoutWindow(int argc, char** argv) {
  const CommandLine asked = pellmarsh::ParseCommandLine(Arguments(argc, argv));
  if (asked.help || asked.version) {
    std::fputs((asked.help ? pellmarsh::UsageText() : pellmarsh::VersionText()).c_str(), stdout);
    return 0;
  }
  if (asked.nativeMessaging) {
    // The session bus without a window: the browser may run where we have none.
    QCoreApplication host(argc, argv);
    return pellmarsh::RunNativeMessagingBridge();
  }
  return std::nullopt;
}

// Read again once Qt has taken its own options ("-platform") out; what does
// not parse is told on stderr.
CommandLine ReadCommandLine(int argc, char** argv) {
  CommandLine line = pellmarsh::ParseCommandLine(Arguments(argc, argv));
  for (const std::string& problem : line.problems) {
    std::fprintf(stderr, "pellmarsh: %s\n", problem.c_str());
  }
  return line;
}

// SIGINT, SIGTERM and SIGHUP as a confirmed close. Taken over first, so that a
// signal from the moment the program directory is locked on closes the window;
// lives to the end, so a signal during the save is swallowed rather than fatal.
class SignalledClose {
 public:
  void Watch(pellmarsh::MainWindow& window) { window_ = &window; }
  bool signalled() const { return signalled_; }

 private:
  pellmarsh::MainWindow* window_ = nullptr;
  bool signalled_ = false;
  pellmarsh::QtSignalBridge bridge_{[this] {
    signalled_ = true;
    if (window_) {
      window_->RequestQuit();
    } else {
      QApplication::closeAllWindows();
    }
  }};
};

// Shows the window with the links of the command line and those other
// programs send, until it closes. False when the data file refused the start.
bool RunWindow(pellmarsh::MainWindow& window, const CommandLine& line) {
  // Another program directory's instance may own the name: this one then
  // takes links from its own command line only.
  pellmarsh::WindowLinks& links = window.links();
  pellmarsh::QtLinkService linkService(
      {[&links](const std::vector<std::string>& urls) { links.AddLinks(urls); },
       [&links](const std::vector<pellmarsh::HandedDownload>& downloads) {
         links.AddDownloads(downloads);
       },
       [&links](const std::string& url, int64_t size) { return links.DownloadState(url, size); },
       [&window] { window.Raise(); }});
  if (window.Initialise()) {
    linkService.Publish();
    if (!line.links.empty()) {
      QTimer::singleShot(0, &window, [&links, &line] { links.AddLinks(line.links); });
    }
    window.RunUntilClosed();
  }
  window.hide();
  return !window.startRefused();
}

// Stops the worker threads and saves the tree; the exit status.
int CloseDown(pellmarsh::App& app, bool signalled, int argumentStatus) {
  if (app.workersRunning()) {
    // Keep answering dialogs a worker may still have open while it stops.
    app.StopWorkers([] {
      QApplication::processEvents();
      QThread::msleep(100);
    });
  }
  pellmarsh::ClosingNotice notice;
  notice.ShowNow();
  if (!signalled) {
    app.SaveTree();
    return argumentStatus;
  }
  // Nobody may be there to answer a message box: say why on stderr instead.
  if (const std::optional<std::string> failure = app.SaveTreeUnattended()) {
    std::fprintf(stderr, "Pellmarsh: could not save on closing: %s\n", failure->c_str());
    return 1;
  }
  return argumentStatus;
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::optional<int> answered = AnswerWithoutWindow(argc, argv)) {
    return *answered;
  }
  pellmarsh::MapLargeBuffersApart();
  QApplication application(argc, argv);
  const CommandLine line = ReadCommandLine(argc, argv);
  const int argumentStatus = line.problems.empty() ? 0 : pellmarsh::kExitBadArgument;
  SignalledClose signalledClose;

  pellmarsh::DataFolders folders =
      pellmarsh::ChooseDataFolders(pellmarsh::ProgramDir(), pellmarsh::CurrentUserEnvironment());
  const pellmarsh::InstanceLock instance(folders.dataDir);
  if (!instance.acquired()) {
    return HandOverToRunningInstance(line, instance.failure(), argumentStatus);
  }
  pellmarsh::QtUserMessages messages;
  pellmarsh::QtSoundPlayer sounds;
  pellmarsh::SystemClock clock;
  pellmarsh::App app(std::move(folders), messages, sounds, clock);
  pellmarsh::MainWindow window(app, {pellmarsh::NetworkManagerAnswers});
  signalledClose.Watch(window);
  if (!RunWindow(window, line)) {
    return 1;
  }
  return CloseDown(app, signalledClose.signalled(), argumentStatus);
}
