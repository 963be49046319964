#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/app.h"
#include "ui/window_desk.h"
#include "view/link_intake.h"
#include "view/url_adding.h"

class QLineEdit;
class QMimeData;

namespace pellmarsh {

// How URLs come into the window: typed in the URL box, dropped or pasted, or
// handed over by other programs and the browser. What came in shows on the
// Pending tab.
class WindowLinks final {
 public:
  WindowLinks(App& app, ItemCommands& commands, WindowDesk& desk, DesktopNotifications& desktop);

  // The URL box's text as a new download; a cancelled one keeps the box's text.
  void DownloadTyped(QLineEdit& urlBox);
  // A drop's or the clipboard's links and text, as new items.
  void AddDropped(const QMimeData& mime);
  // Links from other programs, and what a browser handed over with its
  // cookies, referrer and file name.
  void AddLinks(const std::vector<std::string>& links);
  void AddDownloads(const std::vector<HandedDownload>& downloads);
  std::string DownloadState(const std::string& url, int64_t size);
  void EditUrlItem(Item& item) { urlAdding_.EditUrlItem(item); }

 private:
  void ShowPendingTab();

  WindowDesk& desk_;
  UrlAdding urlAdding_;
  LinkIntake linkIntake_;
};

}  // namespace pellmarsh
