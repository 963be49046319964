#include "ui/window_hand_offs.h"

#include "desktop/qt_power_control.h"
#include "platform/files.h"
#include "ui/auto_shutdown_dialog.h"

namespace pellmarsh {

WindowHandOffs::WindowHandOffs(App& app, QWidget& window, ItemCommands& commands, WindowDesk& desk,
                               const DesktopProbe& probe, UpgradeInstaller::Desk upgradeDesk)
    : app_(app),
      probePower_(probe.power),
      notices_(window, app.clock(),
               QtDesktopNotifications::Actions{[&desk](const std::string& file) {
                                                 return desk.OpenDocument(file) ||
                                                        desk.OpenFolder(DirectoryOf(file));
                                               },
                                               probe.showFile}),
      power_(app, notices_.desktop()),
      countdown_([&window, tickMs = probe.countdownTickMs](bool computerShutdown) {
        return std::make_unique<AutoShutdownDialog>(computerShutdown, tickMs, &window);
      }),
      upgrades_(app, commands, std::move(upgradeDesk)) {}

void WindowHandOffs::Connect() {
  PowerControl* power = probePower_;
  if (!power) {
    ownPower_ = std::make_unique<QtPowerControl>();
    power = ownPower_.get();
  }
  app_.handOffs().Connect(
      {&countdown_, &power_.ForGoodNight(*power), [this](Item& item) { upgrades_.Finished(item); },
       [this](EndedDownload ended) { notices_.DownloadEnded(std::move(ended)); }});
}

}  // namespace pellmarsh
