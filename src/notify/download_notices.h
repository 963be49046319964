#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/desktop_notifications.h"
#include "store/item.h"

namespace pellmarsh {

// A download that has ended for good, as its notification tells it.
struct EndedDownload {
  bool complete = false;  // else failed for good
  std::string name;
  std::string file;
  int64_t bytes = 0;
  std::string error;
  bool mayOpen = false;

  friend bool operator==(const EndedDownload&, const EndedDownload&) = default;
};

// What the desktop is told of an item whose transfer has just ended: nothing
// while notifications are switched off, for the upgrade check's downloads, or
// unless the item is complete or failed for good. Read under the tree lock.
std::optional<EndedDownload> EndedDownloadOf(const Item& root, const Item& item);

// What the desktop is told when a browser's fresh link took up a download
// whose own link had expired: nothing while notifications are switched off.
std::optional<Notification> RenewedDownloadNotification(const Item& root, const Item& item);

// The notifications of downloads that ended together: at most one for those
// complete and one for those failed, each a summary when more than one ended.
std::vector<Notification> NotificationsOf(const std::vector<EndedDownload>& batch);

// Gathers the downloads that end close together into one batch, so a queue
// that finishes many at once is one notification, not one each. A batch is
// due once no download has ended for kQuietMs, or kLongestMs after its first.
// Used on one thread.
class DownloadNotices {
 public:
  static constexpr uint32_t kQuietMs = 1500;
  static constexpr uint32_t kLongestMs = 8000;

  DownloadNotices(const Clock& clock, DesktopNotifications& desktop)
      : clock_(clock), desktop_(desktop) {}

  void Add(EndedDownload ended);
  // Milliseconds until the batch is due; nothing while there is none.
  std::optional<uint32_t> MsUntilDue() const;
  // Shows a due batch and forgets it. While the window is active its list
  // tells the user already, and the batch is dropped unseen.
  void ShowIfDue(bool windowActive);

 private:
  const Clock& clock_;
  DesktopNotifications& desktop_;
  std::vector<EndedDownload> batch_;
  uint32_t firstTick_ = 0;
  uint32_t lastTick_ = 0;
};

}  // namespace pellmarsh
