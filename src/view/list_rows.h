#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/item.h"

// What the download list shows, as plain functions of the item tree and the
// settings: the window only puts these texts and images on the screen.

namespace pellmarsh {

inline constexpr int kListTabs = 4;
enum ListTab : int { kTabPending = 0, kTabCompleted = 1, kTabArchive = 2, kTabClipboard = 3 };

// The folder a tab shows, and whether it shows an item of that status.
std::string_view TabFolder(int tab);
bool TabShowsStatus(int tab, int status);
const char* TabCaption(int tab);

// Double-click hint above the list and the caption of the archive button.
const char* HintText(int tab);
const char* ArchiveButtonCaption(int tab);
const char* ArchiveButtonToolTip(int tab);

// The fifteen row images; the list uses 0 to 12.
inline constexpr int kRowImages = 15;
enum RowImage : int {
  kImageOnHold = 0,
  kImageQueued = 1,
  kImageRunning = 2,
  kImageComplete = 3,
  kImageFailed = 4,
  kImagePaused = 5,
  kImageClipped = 6,
  kImageInfected = 7,
  kImageUnchecked = 8,
  kImageSpeedSlowest = 9,
  kImageSpeedFastest = 12,
};

// A complete item shows its verdict unless virus checking is off.
int RowImageOf(const Item& item, VirusCheckMode virusCheck);
// The settings the status texts follow.
struct RowTextSettings {
  VirusCheckMode virusCheck = VirusCheckMode::kOff;
  bool bytesPerSecond = true;  // rates scaled in bytes per second, else kilobytes per minute
};
std::string StatusText(const Item& item, int image, const RowTextSettings& settings, int64_t now);
// The URL column: "value", cut to its first 100 bytes.
std::string UrlText(const Item& item);

// The list's columns, by the number each keeps wherever it is shown.
inline constexpr int kListColumnCount = 10;
enum ListColumn : int {
  kColumnName = 0,
  kColumnUrl = 1,
  kColumnStatus = 2,
  kColumnSize = 3,
  kColumnProgress = 4,
  kColumnSpeed = 5,
  kColumnTimeLeft = 6,
  kColumnConnections = 7,
  kColumnAdded = 8,
  kColumnFinished = 9,
};
const char* ColumnHeader(int column);

// The cells beside the status; each is empty where it has nothing to say.
// "37.5 MB" once the size is known.
std::string SizeText(const Item& item);
// Percent of the file received: any item of known size, and a complete one;
// -1 otherwise.
int ReceivedPercent(const Item& item);
// "37%", or empty for -1.
std::string PercentText(int percent);
// A running item's recent rate in the chosen unit; empty while it brings nothing.
std::string SpeedText(const Item& item, bool bytesPerSecond);
// Seconds until a transferring item of known size is whole at its recent
// rate; -1 when that cannot be told.
int64_t SecondsLeft(const Item& item);
std::string TimeLeftText(const Item& item);
// Parts running now, for a running download over several connections.
std::string ConnectionsText(const Item& item);
// "2026-12-07 14:05" in local time; empty for no time.
std::string DateTimeText(int64_t time);
// The percent of a running item's file received, for the bar in its status
// cell; -1 when the row shows no bar (not running, or the size is unknown).
int RowProgress(const Item& item);

// "Mon, Dec 07, 2026" in local time, in English whatever the desktop's language.
std::string DayText(int64_t time);
// "%d:%02d" minutes and seconds.
std::string MinutesSecondsText(int64_t seconds);
// Minutes and seconds below an hour, "%d:%02d:%02d" from an hour on.
std::string DurationText(int64_t seconds);

// Sort modes of a tab, stored in its "parm-tabsort-%d" setting.
enum SortMode : int {
  kSortStatus = 0,
  kSortLatestFinish = 1,
  kSortName = 2,
  kSortUrl = 3,
  kSortNewestCreate = 4,
  kSortLargest = 5,
  kSortMostReceived = 6,
  kSortFastest = 7,
  kSortSoonestDone = 8,
  kSortMostConnections = 9,
  kSortNewestAdded = 10,
  kSortNewestFinished = 11,
};
// A tab's sort setting as stored; a fresh Completed tab shows the newest
// finished first.
int TabSortSetting(const Item& root, int tab);
int SortModeForHeader(int tab, int column);
// A tab's sort setting is its mode, plus kSortReversed once a second click on
// the same header has turned the order round: a stored mode alone reads as
// it always did.
inline constexpr int kSortReversed = 0x100;
int SortModeOf(int sortSetting);
bool SortIsReversed(int sortSetting);
// The setting after a click on a header: that header's order, turned round
// when this header made the current order.
int SortSettingAfterClick(int tab, int column, int sortSetting, bool sameHeader);
// The first header whose click gives the setting's mode; -1 when none does.
int SortHeaderOf(int tab, int sortSetting);
// Negative puts a first; a missing item compares equal to anything.
int CompareRows(const Item* a, const Item* b, int mode);

// What a sort mode compares of an item, read once per sort: the number goes
// highest first, then the text in byte order.
struct SortKey {
  int64_t number = 0;
  std::string text;
};
SortKey SortKeyOf(const Item& item, int mode);
int CompareSortKeys(const SortKey& a, const SortKey& b);

// Selection bits: what the selected items allow.
enum SelectionBit : unsigned {
  kCanEdit = 0x001,
  kCanQueue = 0x002,
  kCanStart = 0x004,
  kCanStop = 0x008,
  kCanLaunch = 0x010,
  kCanDeleteUrl = 0x020,
  kCanDeleteFile = 0x040,
  kCanViewLog = 0x080,
  kCanVirusCheck = 0x100,
  kCanExtract = 0x200,
  kCanShowInFolder = 0x400,
  kCanRefreshAddress = 0x800,
  kCanPause = 0x1000,
  kCanResume = 0x2000,
};

// What the selection bits need of one selected item, read under the tree lock.
struct SelectedItem {
  int status = 0;
  int virusVerdict = 0;
  bool hasLog = false;
  std::string local;
};
SelectedItem SnapshotForSelection(const Item& item);

struct SelectionContext {
  bool virusCheckOn = false;
  bool virusHalted = false;
  std::function<bool(const std::string&)> fileExists;
};
unsigned SelectionState(const std::vector<SelectedItem>& selection,
                        const SelectionContext& context);

// The item commands, by their numbers.
enum ItemCommand : int {
  kCommandArchiveOrDelete = 0,
  kCommandEditProperties = 1,
  kCommandStartNow = 2,
  kCommandQueue = 3,
  kCommandStop = 4,
  kCommandLaunch = 5,
  kCommandViewLog = 6,
  kCommandDeleteFile = 7,
  kCommandNuke = 8,
  kCommandVirusCheck = 9,
  kCommandExtractUrls = 10,
  kCommandShowInFolder = 11,
  kCommandRefreshAddress = 12,
  kCommandPause = 13,
  kCommandResume = 14,
  // Resume when any selected download is paused, else Pause.
  kCommandPauseOrResume = 15,
  // Fills the selection's checksums from one sums file.
  kCommandCheckSums = 16,
};

// A command button of the window and the bit that enables it.
struct CommandButton {
  const char* objectName;
  const char* caption;
  ItemCommand command;
  unsigned enablingBits;
  const char* toolTip;
};
const std::vector<CommandButton>& CommandButtons();

// An entry of the list's popup menu; a null caption is a separator. The entry
// is enabled when the selection has any of its bits.
struct MenuEntry {
  const char* objectName;
  const char* caption;
  ItemCommand command;
  unsigned enablingBits;
};
const std::vector<MenuEntry>& PopupMenuEntries();

// The command a double-click starts on a tab.
ItemCommand DoubleClickCommand(int tab);

// Milliseconds until the next display tick: 25 per shown item, 1 to 5 seconds.
int DisplayTimerPeriod(int shownCount);
// Percent of the running transfers' known sizes received.
int ProgressPercent(int64_t totalReceived, int64_t totalSize);

}  // namespace pellmarsh
