#include "view/list_rows.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "app/window_settings.h"
#include "store/byte_figures.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/number_text.h"
#include "transfer/unfinished_file.h"

namespace pellmarsh {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr size_t kUrlColumnLength = 100;
// Longer estimates say nothing a user could wait for.
constexpr double kLongestEstimate = 99 * 3600;

bool IsRunning(int status) {
  return status == kStatusTransferring || status == kStatusStartNow || status == kStatusStarting;
}

std::string CompleteText(const Item& item, int64_t now) {
  const int64_t received = item.GetPropInt64(key::kReceived);
  const int64_t size = item.GetPropInt64(key::kSize);
  if (received < size) {
    return "Short.  " + GroupedInteger(received) + " of " + GroupedInteger(size) +
           " bytes retrieved.";
  }
  if (received > size && size > 0) {
    return "Oversized.  " + GroupedInteger(received) + " of " + GroupedInteger(size) +
           " bytes retrieved.";
  }
  const int64_t finish = item.GetPropInt64(key::kFinish);
  const std::string day =
      finish / kSecondsPerDay == now / kSecondsPerDay ? std::string("today") : DayText(finish);
  return GroupedInteger(received) + " bytes Complete!  Finished " + day + " in " +
         MinutesSecondsText(finish - item.GetPropInt64(key::kStart)) + ".";
}

std::string WrapInVerdict(const Item& item, int image, const std::string& text) {
  if (image == kImageComplete) {
    return "OK: " + text;
  }
  if (image == kImageInfected) {
    return "INFECTED: " + text;
  }
  switch (item.GetPropInt(key::kVirusCheck)) {
    case kVirusUnchecked:
      return "UNCHECKED: " + text;
    case kVirusUnknown:
      return "UNKNOWN-SEE LOG: " + text;
    case kVirusCheckError:
      return "VCHECK ERROR: " + text;
    default:
      return text;
  }
}

// In floating point: a server may announce any size, and a time beyond the
// estimate's range would not even convert to a number of seconds.
int64_t EstimateSeconds(int64_t size, int64_t received, int64_t rate) {
  if (size < 1 || rate <= 0) {
    return -1;
  }
  const double remaining = std::fabs(static_cast<double>(size) - static_cast<double>(received)) /
                           static_cast<double>(rate);
  return remaining <= kLongestEstimate ? static_cast<int64_t>(remaining) : -1;
}

// "ETA 2:05, 37,500,000 bytes of 200,000,000 received (37.5 MB of 200 MB at
// 1.4 MB/s)": the estimate and the rate go by the item's recent rate, so a
// held or stalled download shows neither.
std::string TransferringText(const Item& item, bool bytesPerSecond) {
  const int64_t size = item.GetPropInt64(key::kSize);
  const int64_t received = item.GetPropInt64(key::kReceived);
  const int64_t rate = item.GetPropInt64(key::kRecentRate);
  const std::string atRate = rate > 0 ? " at " + RateInUnit(rate, bytesPerSecond) : "";
  if (size < 1) {
    return GroupedInteger(received) + " bytes received (" + ScaledBytes(received) + atRate + ")";
  }
  const int64_t left = EstimateSeconds(size, received, rate);
  const std::string estimate = left >= 0 ? "ETA " + DurationText(left) + ", " : "";
  return estimate + GroupedInteger(received) + " bytes of " + GroupedInteger(size) + " received (" +
         ScaledBytes(received) + " of " + ScaledBytes(size) + atRate + ")";
}

// "Checking... 45%": a whole download's checksum being worked out, of what
// it received where its server told no size.
std::string CheckingText(const Item& item) {
  const int64_t size = std::max(item.GetPropInt64(key::kSize), item.GetPropInt64(key::kReceived));
  const int64_t hashed = item.GetPropInt64(key::kChecking);
  const double share = size > 0 ? static_cast<double>(hashed) / static_cast<double>(size) : 0;
  const int percent = static_cast<int>(std::clamp(share, 0.0, 1.0) * 100);
  return "Checking... " + std::to_string(percent) + "%";
}

int Sign(int64_t value) {
  return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

}  // namespace

std::string_view TabFolder(int tab) {
  switch (tab) {
    case kTabArchive:
      return folder::kFileArchive;
    case kTabClipboard:
      return folder::kFileClip;
    default:
      return folder::kFileList;
  }
}

bool TabShowsStatus(int tab, int status) {
  switch (tab) {
    case kTabPending:
      return status != kStatusComplete;
    case kTabCompleted:
      return status == kStatusComplete;
    default:
      return true;
  }
}

const char* TabCaption(int tab) {
  static const char* const kCaptions[kListTabs] = {"Pending Downloads", "Completed Downloads",
                                                   "Archive", "Clipboard/Extraction"};
  return kCaptions[std::clamp(tab, 0, kListTabs - 1)];
}

const char* HintText(int tab) {
  switch (tab) {
    case kTabCompleted:
      return "Double Click to Launch";
    case kTabClipboard:
      return "Double Click to Queue";
    default:
      return "Double Click for Properties";
  }
}

const char* ArchiveButtonCaption(int tab) {
  return tab == kTabArchive || tab == kTabClipboard ? "Delete U&RL" : "Archive U&RL";
}

const char* ArchiveButtonToolTip(int tab) {
  return tab == kTabArchive || tab == kTabClipboard
             ? "Remove the selected URLs from the list"
             : "Move the selected downloads to the Archive tab (their files stay)";
}

int RowImageOf(const Item& item, VirusCheckMode virusCheck) {
  switch (const int status = item.GetPropInt(key::kStatus)) {
    case kStatusOnHold:
      return kImageOnHold;
    case kStatusQueued:
      return kImageQueued;
    case kStatusComplete:
      if (virusCheck == VirusCheckMode::kOff) {
        return kImageComplete;
      }
      switch (item.GetPropInt(key::kVirusCheck)) {
        case kVirusClean:
          return kImageComplete;
        case kVirusInfected:
          return kImageInfected;
        default:
          return kImageUnchecked;
      }
    case kStatusFailed:
      return kImageFailed;
    case kStatusPaused:
    case kStatusWaitingToRetry:
      return kImagePaused;
    case kStatusClipped:
      return kImageClipped;
    default:
      if (IsRunning(status)) {
        const int speed = item.GetPropInt(key::kSpeedFlag);
        // The scheduler writes 9 to 12; anything else shows as running without a rating.
        return speed >= kImageSpeedSlowest && speed <= kImageSpeedFastest ? speed : kImageRunning;
      }
      return kImageOnHold;
  }
}

std::string StatusText(const Item& item, int image, const RowTextSettings& settings, int64_t now) {
  const VirusCheckMode virusCheck = settings.virusCheck;
  const int status = item.GetPropInt(key::kStatus);
  if (status == kStatusTransferring && !item.GetProp(key::kChecking).empty()) {
    return CheckingText(item);
  }
  // The scheduler's reason why a running download does not move.
  if (status == kStatusTransferring || status == kStatusStarting) {
    if (std::string waiting = item.GetProp(key::kWaitingFor); !waiting.empty()) {
      return waiting;
    }
  }
  switch (status) {
    case kStatusOnHold:
      return "On hold";
    case kStatusQueued:
      if (std::string waiting = item.GetProp(key::kWaitingFor); !waiting.empty()) {
        return waiting;
      }
      return "Queued for download!";
    case kStatusComplete: {
      const std::string text = CompleteText(item, now);
      return virusCheck != VirusCheckMode::kOff ? WrapInVerdict(item, image, text) : text;
    }
    case kStatusFailed:
      return "Fatal Error: " + item.GetProp(key::kError);
    case kStatusPaused:
      return "Paused";
    case kStatusWaitingToRetry:
      return "Retry " + FormatInteger(item.GetPropInt(key::kRetryCount)) + " in " +
             MinutesSecondsText(item.GetPropInt(key::kRetryTimeout)) +
             ", last error: " + item.GetProp(key::kError);
    case kStatusClipped:
      return "Clipped " + DayText(item.GetPropInt64(key::kCreate));
    case kStatusTransferring:
      return TransferringText(item, settings.bytesPerSecond);
    case kStatusStartNow:
      return "Rarin' to go!";
    case kStatusStopping:
    case kStatusStopRequested:
      return "Stopping";
    case kStatusPauseRequested:
      return "Pausing";
    case kStatusStarting:
      return "Connecting: " + item.GetProp(key::kProcess);
    case kStatusGoingOffline:
      return "Going offline";
    default:
      return {};
  }
}

std::string UrlText(const Item& item) {
  std::string url = item.GetProp(key::kValue);
  if (url.size() > kUrlColumnLength) {
    url.resize(kUrlColumnLength);
  }
  return url;
}

const char* ColumnHeader(int column) {
  static const char* const kHeaders[kListColumnCount] = {
      "Filename", "URL",       "Status",      "Size",  "Progress",
      "Speed",    "Time Left", "Connections", "Added", "Finished"};
  return kHeaders[std::clamp(column, 0, kListColumnCount - 1)];
}

std::string SizeText(const Item& item) {
  const int64_t size = item.GetPropInt64(key::kSize);
  return size > 0 ? ScaledBytes(size) : std::string();
}

int ReceivedPercent(const Item& item) {
  if (item.GetPropInt(key::kStatus) == kStatusComplete) {
    return 100;
  }
  const int64_t size = item.GetPropInt64(key::kSize);
  return size > 0 ? ProgressPercent(item.GetPropInt64(key::kReceived), size) : -1;
}

std::string PercentText(int percent) {
  return percent >= 0 ? FormatInteger(percent) + "%" : std::string();
}

// A finished attempt leaves its last rate behind: only a running item has one.
std::string SpeedText(const Item& item, bool bytesPerSecond) {
  const int64_t rate = item.GetPropInt64(key::kRecentRate);
  if (!IsRunning(item.GetPropInt(key::kStatus)) || rate <= 0) {
    return {};
  }
  return RateInUnit(rate, bytesPerSecond);
}

int64_t SecondsLeft(const Item& item) {
  if (item.GetPropInt(key::kStatus) != kStatusTransferring) {
    return -1;
  }
  return EstimateSeconds(item.GetPropInt64(key::kSize), item.GetPropInt64(key::kReceived),
                         item.GetPropInt64(key::kRecentRate));
}

std::string TimeLeftText(const Item& item) {
  const int64_t left = SecondsLeft(item);
  return left >= 0 ? DurationText(left) : std::string();
}

namespace {

int RunningParts(const Item& item) {
  return IsRunning(item.GetPropInt(key::kStatus)) ? item.GetPropInt(key::kRunningParts) : 0;
}

}  // namespace

std::string ConnectionsText(const Item& item) {
  const int parts = RunningParts(item);
  return parts > 0 ? FormatInteger(parts) : std::string();
}

std::string DateTimeText(int64_t time) {
  const auto seconds = static_cast<time_t>(time);
  std::tm local{};
  if (time <= 0 || localtime_r(&seconds, &local) == nullptr) {
    return {};
  }
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
  return text;
}

int RowProgress(const Item& item) {
  const int64_t size = item.GetPropInt64(key::kSize);
  if (!IsRunning(item.GetPropInt(key::kStatus)) || size < 1) {
    return -1;
  }
  return ProgressPercent(item.GetPropInt64(key::kReceived), size);
}

std::string DayText(int64_t time) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto seconds = static_cast<time_t>(time);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) {
    return {};
  }
  // Written out by hand: strftime would follow the desktop's language.
  char text[64];
  std::snprintf(text, sizeof text, "%s, %s %02d, %d", kDays[local.tm_wday % 7],
                kMonths[local.tm_mon % 12], local.tm_mday, local.tm_year + 1900);
  return text;
}

std::string MinutesSecondsText(int64_t seconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text;
}

std::string DurationText(int64_t seconds) {
  if (seconds < 3600) {
    return MinutesSecondsText(seconds);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

int SortModeForHeader(int tab, int column) {
  switch (column) {
    case kColumnUrl:
      return kSortUrl;
    case kColumnSize:
      return kSortLargest;
    case kColumnProgress:
      return kSortMostReceived;
    case kColumnSpeed:
      return kSortFastest;
    case kColumnTimeLeft:
      return kSortSoonestDone;
    case kColumnConnections:
      return kSortMostConnections;
    case kColumnAdded:
      return kSortNewestAdded;
    case kColumnFinished:
      return kSortNewestFinished;
    case kColumnStatus:
      if (tab == kTabCompleted || tab == kTabArchive) {
        return kSortLatestFinish;
      }
      return tab == kTabClipboard ? kSortNewestCreate : kSortStatus;
    default:
      return kSortStatus;
  }
}

int TabSortSetting(const Item& root, int tab) {
  if (!root.HasProp(setting::TabSort(tab)) && tab == kTabCompleted) {
    return kSortNewestFinished;
  }
  return root.GetPropInt(setting::TabSort(tab));
}

int SortModeOf(int sortSetting) {
  return sortSetting & ~kSortReversed;
}

bool SortIsReversed(int sortSetting) {
  return (sortSetting & kSortReversed) != 0;
}

int SortSettingAfterClick(int tab, int column, int sortSetting, bool sameHeader) {
  const int mode = SortModeForHeader(tab, column);
  if (sameHeader && SortModeOf(sortSetting) == mode) {
    return sortSetting ^ kSortReversed;
  }
  return mode;
}

int SortHeaderOf(int tab, int sortSetting) {
  for (int column = 0; column < kListColumnCount; ++column) {
    if (SortModeForHeader(tab, column) == SortModeOf(sortSetting)) {
      return column;
    }
  }
  return -1;
}

int CompareRows(const Item* a, const Item* b, int mode) {
  if (a == nullptr || b == nullptr) {
    return 0;
  }
  return CompareSortKeys(SortKeyOf(*a, mode), SortKeyOf(*b, mode));
}

SortKey SortKeyOf(const Item& item, int mode) {
  switch (mode) {
    case kSortStatus:
      return {item.GetPropInt(key::kStatus), item.GetProp(key::kName)};
    case kSortLatestFinish:
      return {item.GetPropInt64(key::kFinish), {}};
    case kSortName:
      return {0, item.GetProp(key::kName)};
    case kSortUrl:
      return {0, item.GetProp(key::kValue)};
    case kSortNewestCreate:
      return {item.GetPropInt64(key::kCreate), {}};
    // The newer sorts fall back on the name, so equal figures keep one order.
    case kSortLargest:
      return {item.GetPropInt64(key::kSize), item.GetProp(key::kName)};
    case kSortMostReceived:
      return {ReceivedPercent(item), item.GetProp(key::kName)};
    case kSortFastest:
      return {IsRunning(item.GetPropInt(key::kStatus)) ? item.GetPropInt64(key::kRecentRate) : -1,
              item.GetProp(key::kName)};
    case kSortSoonestDone: {
      // Highest first: the shortest wait is the largest negative, no estimate last.
      const int64_t left = SecondsLeft(item);
      return {left >= 0 ? -left : std::numeric_limits<int64_t>::min(), item.GetProp(key::kName)};
    }
    case kSortMostConnections:
      return {RunningParts(item), item.GetProp(key::kName)};
    case kSortNewestAdded:
      return {item.GetPropInt64(key::kCreate), item.GetProp(key::kName)};
    case kSortNewestFinished:
      return {item.GetPropInt64(key::kFinish), item.GetProp(key::kName)};
    default:
      return {};
  }
}

int CompareSortKeys(const SortKey& a, const SortKey& b) {
  if (a.number != b.number) {
    return a.number > b.number ? -1 : 1;
  }
  return Sign(a.text.compare(b.text));
}

SelectedItem SnapshotForSelection(const Item& item) {
  return {item.GetPropInt(key::kStatus), item.GetPropInt(key::kVirusCheck), item.HasText(key::kLog),
          ItemFileOf(item)};
}

unsigned SelectionState(const std::vector<SelectedItem>& selection,
                        const SelectionContext& context) {
  unsigned bits = 0;
  for (const SelectedItem& item : selection) {
    const int st = item.status;
    const bool idle = st < kStatusTransferring;
    // Each selected item probes its file at most once, and not at all once
    // another has set what the probe could: a long selection is asked about
    // at every display tick.
    int exists = -1;
    auto fileExists = [&] {
      if (exists < 0) {
        exists = context.fileExists && context.fileExists(item.local) ? 1 : 0;
      }
      return exists == 1;
    };
    // A new address is for one download that has not ended well.
    if (idle && selection.size() == 1 && st != kStatusComplete && st != kStatusClipped) {
      bits |= kCanRefreshAddress;
    }
    if (idle) {
      bits |= kCanEdit | kCanStart | kCanDeleteUrl;
      if (st != kStatusQueued) {
        bits |= kCanQueue;
      }
      if (!(bits & kCanDeleteFile) && fileExists()) {
        bits |= kCanDeleteFile;
      }
    }
    if (!(bits & kCanShowInFolder) && fileExists()) {
      bits |= kCanShowInFolder;
    }
    if (!idle || st == kStatusWaitingToRetry) {
      bits |= kCanStop;
    }
    if (CanBePaused(st)) {
      bits |= kCanPause;
    } else if (st == kStatusPaused) {
      bits |= kCanResume;
    }
    constexpr unsigned kFileCommands = kCanLaunch | kCanExtract;
    if (st == kStatusComplete && (bits & kFileCommands) != kFileCommands && fileExists()) {
      bits |= kFileCommands;
    }
    if (item.hasLog) {
      bits |= kCanViewLog;
    }
    if (!context.virusHalted && context.virusCheckOn && st == kStatusComplete) {
      bits |= kCanVirusCheck;
    }
    if (context.virusCheckOn && item.virusVerdict == kVirusInfected) {
      bits &= ~static_cast<unsigned>(kCanLaunch);
    }
  }
  return bits;
}

// Each Alt letter names one control of the window: the URL box has U, Go Fast
// F and Pause A.
const std::vector<CommandButton>& CommandButtons() {
  static const std::vector<CommandButton> kButtons = {
      {"propertiesButton", "Prop&erties...", kCommandEditProperties, kCanEdit,
       "Show and change the selected download's URL, file name and login"},
      {"startNowButton", "&Start Now", kCommandStartNow, kCanStart,
       "Start the selected downloads at once, even beyond the connection limit"},
      {"queueButton", "Add to &Queue", kCommandQueue, kCanQueue,
       "Queue the selected downloads: each starts when a connection is free"},
      {"stopButton", "Sto&p", kCommandStop, kCanStop,
       "Stop the selected downloads and put them on hold"},
      {"pauseResumeButton", "Pause/Resu&me", kCommandPauseOrResume, kCanPause | kCanResume,
       "Pause the selected downloads, keeping all they have and their place in the queue; "
       "or resume the paused ones"},
      {"launchButton", "&Launch File", kCommandLaunch, kCanLaunch,
       "Open the selected download's file with its program"},
      {"archiveButton", "Archive U&RL", kCommandArchiveOrDelete, kCanDeleteUrl,
       ArchiveButtonToolTip(kTabPending)},
      {"deleteFileButton", "Delete F&ile", kCommandDeleteFile, kCanDeleteFile,
       "Move the selected downloads' files to the Trash"},
  };
  return kButtons;
}

const std::vector<MenuEntry>& PopupMenuEntries() {
  static const std::vector<MenuEntry> kEntries = {
      {"propertiesEntry", "&Properties...", kCommandEditProperties, kCanEdit},
      {nullptr, nullptr, kCommandEditProperties, 0},
      {"startNowEntry", "&Start Transfer Now", kCommandStartNow, kCanStart},
      {"queueEntry", "Add to &Queue", kCommandQueue, kCanQueue},
      {"stopEntry", "Stop &Transfer", kCommandStop, kCanStop},
      {"pauseEntry", "P&ause Transfer", kCommandPause, kCanPause},
      {"resumeEntry", "Resu&me Transfer", kCommandResume, kCanResume},
      {"refreshAddressEntry", "&Refresh Address...", kCommandRefreshAddress, kCanRefreshAddress},
      {nullptr, nullptr, kCommandEditProperties, 0},
      {"virusCheckEntry", "Virus &Check File...", kCommandVirusCheck, kCanVirusCheck},
      {"extractUrlsEntry", "E&xtract URLs", kCommandExtractUrls, kCanExtract},
      {"launchEntry", "&Launch File", kCommandLaunch, kCanLaunch},
      {"showInFolderEntry", "Show in F&older", kCommandShowInFolder, kCanShowInFolder},
      {"viewLogEntry", "&View Transfer Log...", kCommandViewLog, kCanViewLog},
      {"sumsFileEntry", "C&heck against a sums file...", kCommandCheckSums, kCanEdit},
      {nullptr, nullptr, kCommandEditProperties, 0},
      {"deleteUrlEntry", "Delete &URL", kCommandArchiveOrDelete, kCanDeleteUrl},
      {"deleteFileEntry", "Delete &File", kCommandDeleteFile, kCanDeleteFile},
      {"nukeEntry", "&Nuke Everything", kCommandNuke, kCanDeleteUrl | kCanDeleteFile},
  };
  return kEntries;
}

ItemCommand DoubleClickCommand(int tab) {
  switch (tab) {
    case kTabCompleted:
      return kCommandLaunch;
    case kTabClipboard:
      return kCommandQueue;
    default:
      return kCommandEditProperties;
  }
}

int DisplayTimerPeriod(int shownCount) {
  return static_cast<int>(std::clamp<int64_t>(int64_t{25} * shownCount, 1000, 5000));
}

int ProgressPercent(int64_t totalReceived, int64_t totalSize) {
  if (totalSize == 0) {
    return 0;
  }
  const double percent =
      static_cast<double>(totalReceived) / static_cast<double>(totalSize) * 100.0;
  return static_cast<int>(std::clamp(percent, 0.0, 100.0));
}

}  // namespace pellmarsh
