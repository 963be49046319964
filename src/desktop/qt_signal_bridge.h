#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace pellmarsh {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the window thread. The handler
// only writes a byte to a pipe; everything else happens in the event loop, so a
// signal that arrives inside a modal dialog is handled like any other event.
class QtSignalBridge final : public QObject {
 public:
  explicit QtSignalBridge(std::function<void()> onSignal);
  ~QtSignalBridge() override;

 private:
  std::function<void()> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace pellmarsh
