#pragma once

#include <QTimer>

#include "desktop/qt_desktop_notifications.h"
#include "desktop/qt_gui_queue.h"
#include "notify/download_notices.h"

class QWidget;

namespace pellmarsh {

// The desktop notifications of the downloads that end: the scheduler hands
// each over from its thread, and the window thread shows a batch once it is
// due, unless the window is active then.
class WindowNotices final {
 public:
  // Construct it on the window thread.
  WindowNotices(const QWidget& window, const Clock& clock, QtDesktopNotifications::Actions actions);

  // Callable from any thread; never waits.
  void DownloadEnded(EndedDownload ended);
  // For the notices that need no batching. Window thread only.
  DesktopNotifications& desktop() { return desktop_; }

 private:
  void ShowIfDue();

  const QWidget& window_;
  QtDesktopNotifications desktop_;
  DownloadNotices notices_;
  QTimer dueTimer_;
  QtGuiQueue guiQueue_;
};

}  // namespace pellmarsh
