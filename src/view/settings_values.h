#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/item.h"

// The window-free half of the settings sheet: the settings it edits, the unit
// conversion of the speed limits, the checks of what is typed and the edits of
// the folders it changes at once.

namespace pellmarsh {

// The "parm-" settings as the sheet holds them between opening and OK.
struct SettingsValues {
  // Bandwidth
  int speedControl = 0;
  double highSpeed = 0;  // kilobytes per minute
  double lowSpeed = 0;
  int connectionsPerDownload = 0;
  int connectionsPerServer = 0;
  bool downloadMetered = false;
  // Virus check
  int virusCheck = 0;
  std::string virusProgram;
  std::string virusCommand;
  std::string virusReturnsGood;
  std::string virusReturns;
  std::string virusReturnsFail;
  int virusAlert = 0;
  // Binary/Text
  bool convertLineEnds = false;
  // Defaults
  int ftpMode = 0;  // an FtpDataMode
  // Sound
  bool soundOn = false;
  bool notifyOn = false;
  // Miscellaneous
  bool delLog = false;
  bool ownsFiles = false;
  bool retryShort = false;
  bool hidePasswords = false;
  std::string runAfter;
  // Clipboard
  int clipWatch = 0;  // a ClipboardWatch
  std::string clipFileTypes;
  std::string weekPlan;
  bool weekPlanOn = false;
  bool clipAndGo = false;
  bool clipStart = false;
  bool queueLinks = false;
  bool maxConEnable = false;
  std::string maxCons;  // the drop-down's text
  bool bytesPerSecond = false;
  bool shutdownPc = false;
  bool keepAwake = false;
  bool minTray = false;
  bool autoExtract = false;
  bool checkNewVersion = false;
  std::string upgradeUrl;
  // Proxy
  int proxyMode = 0;  // a ProxyMode
  std::string proxy;
};

SettingsValues ReadSettings(const Item& root);
// Every value goes back, also those no page changed.
void WriteSettings(Item& root, const SettingsValues& values);

// The connections drop-down's text as the limit: its leading integer, 0 for a word.
int32_t ConnectionLimit(std::string_view text);

// The highest limit whose budget still fits the speed control's integer.
inline constexpr double kHighestSpeedLimit = static_cast<double>(int64_t{2147483647} * 60 / 1024);

// The full-speed box shows no limit (a stored 0) as empty, and takes an empty
// box or 0 as no limit; in the background box 0 holds transfers still.
enum class SpeedLimitBox { kFullSpeed, kBackground };

// What a speed box shows for a stored limit: whole kB/s (1000 bytes a second)
// or kilobytes per minute.
std::string SpeedBoxText(double kilobytesPerMinute, bool bytesPerSecond, SpeedLimitBox box);
// The limit to store for what was typed, held to what a budget can hold.
double SpeedFromBox(int32_t typed, bool bytesPerSecond);
// The limit a speed box leaves: the stored one while the box still shows the
// text the page put there, so merely looking does not cut a fraction off; the
// entry's otherwise, however it got into the box; nothing when that is no integer.
std::optional<double> SpeedBoxLimit(std::string_view shown, std::string_view text, double stored,
                                    bool bytesPerSecond, SpeedLimitBox box);
// A whole number that fits 32 bits, with blanks around it allowed; nothing otherwise.
std::optional<int32_t> ParseIntegerEntry(std::string_view text);
std::string_view SpeedUnitText(bool bytesPerSecond);
std::string_view SpeedSampleText(bool bytesPerSecond);

// The local directory without trailing separators; a lone "/" stays.
std::string WithoutTrailingSeparator(std::string path);

// One row of a sorted list box and the child it shows.
struct FolderEntry {
  std::string text;
  Item* item = nullptr;
};
// Every child of `folder` with its `shownKey`, sorted ignoring letter case.
std::vector<FolderEntry> SortedEntries(const Item& folder, PropKey shownKey);
// True while `item` is still a child of `folder`: a row may outlive its child.
bool StillChildOf(const Item& folder, const Item* item);

enum class TextTypeAdd { kAdded, kAlreadyListed, kEmpty };
enum class TextTypeKind { kExtension, kMimeType };
// Adds an entry to "nkw-ftptext" (upper case) or "nkw-httptext" (lower case).
TextTypeAdd AddTextType(Item& folder, std::string_view typed, TextTypeKind kind);
std::string_view AlreadyListedText(TextTypeKind kind);
// The clipboard's file types, a list such as "iso zip": what was typed joins
// it without its dot; a type leaves it.
TextTypeAdd AddFileType(std::string& list, std::string_view typed);
void RemoveFileType(std::string& list, std::string_view type);

}  // namespace pellmarsh
