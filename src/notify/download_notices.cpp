#include "notify/download_notices.h"

#include <algorithm>
#include <utility>

#include "store/byte_figures.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/number_text.h"

namespace pellmarsh {
namespace {

// Names beyond these are counted, not listed: a notification is read at a glance.
constexpr size_t kNamesListed = 4;

std::string NameList(const std::vector<const EndedDownload*>& downloads) {
  std::string list;
  const size_t listed = std::min(downloads.size(), kNamesListed);
  for (size_t index = 0; index < listed; ++index) {
    list += (index == 0 ? "" : "\n") + downloads[index]->name;
  }
  if (downloads.size() > listed) {
    list += "\nand " + FormatInteger(static_cast<int64_t>(downloads.size() - listed)) + " more";
  }
  return list;
}

std::optional<Notification> CompleteNotification(const std::vector<const EndedDownload*>& done) {
  if (done.empty()) {
    return std::nullopt;
  }
  if (done.size() == 1) {
    const EndedDownload& one = *done.front();
    return Notification{"Download complete", one.name + "\n" + ScaledBytes(one.bytes), one.file,
                        one.mayOpen};
  }
  return Notification{FormatInteger(static_cast<int64_t>(done.size())) + " downloads complete",
                      NameList(done), "", false};
}

// A failed download's file is partial at best: nothing to open or show.
std::optional<Notification> FailedNotification(const std::vector<const EndedDownload*>& failed) {
  if (failed.empty()) {
    return std::nullopt;
  }
  if (failed.size() == 1) {
    const EndedDownload& one = *failed.front();
    return Notification{"Download failed", one.name + "\n" + one.error, "", false};
  }
  return Notification{FormatInteger(static_cast<int64_t>(failed.size())) + " downloads failed",
                      NameList(failed), "", false};
}

}  // namespace

std::optional<EndedDownload> EndedDownloadOf(const Item& root, const Item& item) {
  const int status = item.GetPropInt(key::kStatus);
  if (root.GetPropInt(setting::kNotifyOn) == 0 || item.GetPropInt(key::kAutoUpdate) != 0 ||
      (status != kStatusComplete && status != kStatusFailed)) {
    return std::nullopt;
  }
  EndedDownload ended;
  ended.complete = status == kStatusComplete;
  ended.file = item.GetProp(key::kLocal);
  ended.name = item.GetProp(key::kName);
  if (ended.name.empty()) {
    ended.name = ended.file.substr(ended.file.find_last_of('/') + 1);
  }
  ended.bytes = item.GetPropInt64(key::kReceived);
  ended.error = item.GetProp(key::kError);
  // Opening from the list asks first about a file the virus checker has not
  // passed; a notification cannot ask, so it offers no "Open" then.
  ended.mayOpen = root.GetPropEnum(setting::kVirusCheck) == VirusCheckMode::kOff;
  return ended;
}

std::optional<Notification> RenewedDownloadNotification(const Item& root, const Item& item) {
  if (root.GetPropInt(setting::kNotifyOn) == 0) {
    return std::nullopt;
  }
  return Notification{"Resumed with a new link", item.GetProp(key::kName), "", false};
}

std::vector<Notification> NotificationsOf(const std::vector<EndedDownload>& batch) {
  std::vector<const EndedDownload*> done;
  std::vector<const EndedDownload*> failed;
  for (const EndedDownload& ended : batch) {
    (ended.complete ? done : failed).push_back(&ended);
  }
  std::vector<Notification> notifications;
  for (std::optional<Notification> notification :
       {CompleteNotification(done), FailedNotification(failed)}) {
    if (notification) {
      notifications.push_back(std::move(*notification));
    }
  }
  return notifications;
}

void DownloadNotices::Add(EndedDownload ended) {
  lastTick_ = clock_.TickCount();
  if (batch_.empty()) {
    firstTick_ = lastTick_;
  }
  batch_.push_back(std::move(ended));
}

std::optional<uint32_t> DownloadNotices::MsUntilDue() const {
  if (batch_.empty()) {
    return std::nullopt;
  }
  // Differences of tick counts stay right across the counter's wrap.
  const uint32_t now = clock_.TickCount();
  const uint32_t quiet = now - lastTick_;
  const uint32_t open = now - firstTick_;
  return std::min(kQuietMs - std::min(quiet, kQuietMs), kLongestMs - std::min(open, kLongestMs));
}

void DownloadNotices::ShowIfDue(bool windowActive) {
  if (MsUntilDue().value_or(1) != 0) {
    return;
  }
  const std::vector<EndedDownload> batch = std::exchange(batch_, {});
  if (windowActive) {
    return;
  }
  for (const Notification& notification : NotificationsOf(batch)) {
    desktop_.Show(notification);
  }
}

}  // namespace pellmarsh
