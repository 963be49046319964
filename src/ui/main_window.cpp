#include "ui/main_window.h"

#include <QCloseEvent>

#include "store/builtin_tree.h"

namespace pellmarsh {

MainWindow::MainWindow(std::string programDir)
    : programDir_(std::move(programDir)),
      dataFile_(programDir_, SaveGuards{treeLock_, commandBusy_, saving_}, messages_, clock_,
                replacer_),
      events_(rootItem_, treeLock_, sounds_) {
  setWindowTitle("Pellmarsh");
  resize(640, 400);

  dataFile_.LoadAtStartup(rootItem_);
  {
    std::lock_guard lock(treeLock_);
    SetUpRootAndFolders(rootItem_, programDir_);
    SetUpDefaultsAndSettings(rootItem_, programDir_);
    BuildSoundTable(rootItem_);
    MarkFirstStart(rootItem_, clock_.UnixTime());
  }
  events_.RaiseEvent("STARTUP");
}

void MainWindow::closeEvent(QCloseEvent* event) {
  dataFile_.Save(rootItem_);
  event->accept();
}

}  // namespace pellmarsh
