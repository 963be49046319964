#include "ui/window_links.h"

#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

#include "capture/url_item.h"

namespace pellmarsh {

WindowLinks::WindowLinks(App& app, ItemCommands& commands, WindowDesk& desk,
                         DesktopNotifications& desktop)
    : desk_(desk),
      urlAdding_(app.state(), app.localNames(), commands, desk, app.messages(), app.clock()),
      linkIntake_(app.state(), app.localNames(), commands, app.events(), desktop, app.clock()) {}

void WindowLinks::DownloadTyped(QLineEdit& urlBox) {
  if (!urlAdding_.DownloadTypedUrl(urlBox.text().toStdString())) {
    return;
  }
  urlBox.clear();
  ShowPendingTab();
}

void WindowLinks::AddDropped(const QMimeData& mime) {
  DroppedData drop;
  const QList<QUrl> urls = mime.urls();
  drop.onlyLocalFiles = !urls.isEmpty();
  for (const QUrl& url : urls) {
    drop.onlyLocalFiles = drop.onlyLocalFiles && url.isLocalFile();
    drop.localPaths.push_back(url.toLocalFile().toStdString());
  }
  drop.uriList = mime.data("text/uri-list").toStdString();
  drop.text = mime.text().toStdString();
  if (urlAdding_.AddDroppedTexts(DroppedTexts(drop)) > 0 || drop.onlyLocalFiles) {
    desk_.RefreshList();
  }
}

void WindowLinks::AddLinks(const std::vector<std::string>& links) {
  linkIntake_.AddLinks(links);
  ShowPendingTab();
}

void WindowLinks::AddDownloads(const std::vector<HandedDownload>& downloads) {
  linkIntake_.AddDownloads(downloads);
  ShowPendingTab();
}

std::string WindowLinks::DownloadState(const std::string& url, int64_t size) {
  return linkIntake_.FirstAnswerOf(url, size);
}

void WindowLinks::ShowPendingTab() {
  if (desk_.CurrentTab() != kTabPending) {
    desk_.SelectTab(kTabPending);
  }
  desk_.RefreshList();
}

}  // namespace pellmarsh
