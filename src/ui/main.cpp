#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>
#include <utility>

#include "app/app.h"
#include "desktop/qt_network_manager.h"
#include "desktop/qt_signal_bridge.h"
#include "desktop/qt_sound_player.h"
#include "desktop/qt_user_messages.h"
#include "platform/clock.h"
#include "platform/data_folders.h"
#include "platform/instance_lock.h"
#include "platform/program_dir.h"
#include "ui/closing_notice.h"
#include "ui/main_window.h"

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

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Taken over first, so that a signal from the moment the program directory is
  // locked on is a confirmed close. Lives to the end, so a signal during the save
  // is swallowed rather than fatal.
  pellmarsh::MainWindow* window = nullptr;
  bool signalled = false;
  pellmarsh::QtSignalBridge signalBridge([&window, &signalled] {
    signalled = true;
    if (window) {
      window->RequestQuit();
    } else {
      QApplication::closeAllWindows();
    }
  });

  pellmarsh::DataFolders folders =
      pellmarsh::ChooseDataFolders(pellmarsh::ProgramDir(), pellmarsh::CurrentUserEnvironment());
  const pellmarsh::InstanceLock instance(folders.dataDir);
  if (!instance.acquired()) {
    SayCannotStart(instance.failure());
    return 1;
  }

  pellmarsh::QtUserMessages messages;
  pellmarsh::QtSoundPlayer sounds;
  pellmarsh::SystemClock clock;
  pellmarsh::App app(std::move(folders), messages, sounds, clock);
  pellmarsh::MainWindow mainWindow(app, {pellmarsh::NetworkManagerAnswers});
  window = &mainWindow;
  if (mainWindow.Initialise()) {
    mainWindow.RunUntilClosed();
  }
  mainWindow.hide();
  if (mainWindow.startRefused()) {
    return 1;
  }

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
    return 0;
  }
  // Nobody may be there to answer a message box: say why on stderr instead.
  if (const std::optional<std::string> failure = app.SaveTreeUnattended()) {
    std::fprintf(stderr, "Pellmarsh: could not save on closing: %s\n", failure->c_str());
    return 1;
  }
  return 0;
}
