#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>

#include "desktop/qt_gui_queue.h"
#include "goodnight/good_night.h"

namespace pellmarsh {

// Shows the Auto Shutdown countdown on the window thread for a worker thread
// that waits. The dialog is the front end's: makeDialog builds it on the window
// thread, and its acceptance means "shut down". Construct this on the window
// thread.
class QtShutdownCountdown final : public ShutdownCountdown {
 public:
  using DialogMaker = std::function<std::unique_ptr<QDialog>(bool computerShutdown)>;

  explicit QtShutdownCountdown(DialogMaker makeDialog) : makeDialog_(std::move(makeDialog)) {}
  bool Run(bool computerShutdown, const std::atomic<bool>& stop) override;

 private:
  DialogMaker makeDialog_;
  QtGuiQueue guiQueue_;
};

}  // namespace pellmarsh
