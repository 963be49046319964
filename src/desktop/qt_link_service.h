#pragma once

#include <QObject>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/native_message.h"

namespace pellmarsh {

// The name the running program owns on the session bus, its object and its
// interface: the AppStream id.
inline constexpr const char* kLinkServiceName = "org.example.pellmarsh";
inline constexpr const char* kLinkServicePath = "/org/example/pellmarsh";

// The running program's door for links from other programs:
//   AddUrls(as urls) -> (as problems)  one answer per URL, empty when it goes in
//   AddDownloads(s message) -> (as problems)
//                                      a browser's {"downloads":[...]} message,
//                                      read again here: one answer per download
//   DownloadState(s url, x size) -> (s state)
//                                      "started" once the newest download of the
//                                      URL gets its file (of that size, when not
//                                      -1), the reason once it failed, "" before
//   Raise()                            the window in front
class QtLinkService final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.example.pellmarsh")

 public:
  struct Window {
    // Called on the window thread with the links that parse.
    std::function<void(const std::vector<std::string>&)> addLinks;
    std::function<void(const std::vector<HandedDownload>&)> addDownloads;
    std::function<std::string(const std::string& url, int64_t size)> downloadState;
    std::function<void()> raise;
  };
  explicit QtLinkService(Window window) : window_(std::move(window)) {}

  // Takes the name on the session bus; false when there is no bus or another
  // program (another program directory's instance) owns it.
  bool Publish();

 public slots:
  Q_SCRIPTABLE QStringList AddUrls(const QStringList& urls);
  Q_SCRIPTABLE QStringList AddDownloads(const QString& message);
  Q_SCRIPTABLE QString DownloadState(const QString& url, qlonglong size);
  Q_SCRIPTABLE void Raise();

 private:
  Window window_;
};

// The side of a second start. Each waits up to `patience` for a running
// instance, whose lock may be taken before it owns its name; none when
// nothing answered.
// Hands links over and raises the window; the problems the instance found.
std::optional<std::vector<std::string>> HandLinksToRunningInstance(
    const std::vector<std::string>& links, std::chrono::milliseconds patience);
// Hands a browser's message over and raises the window; the problems the
// instance found, one per download.
std::optional<std::vector<std::string>> HandDownloadsToRunningInstance(
    const std::string& message, std::chrono::milliseconds patience);
// The running instance's DownloadState; nothing when it did not answer.
std::optional<std::string> AskDownloadState(const std::string& url, int64_t size);
bool RaiseRunningInstance(std::chrono::milliseconds patience);

}  // namespace pellmarsh
