#pragma once

#include <string>
#include <string_view>

// The names of the data. Every property key of an item and every "parm-" setting
// of the root is spelt once, here, so that a misspelt key does not compile.

namespace pellmarsh {

namespace key {
// What an item is
inline constexpr std::string_view kName = "name";
inline constexpr std::string_view kValue = "value";
inline constexpr std::string_view kType = "type";
inline constexpr std::string_view kOriginalValue = "originalvalue";

// The state of a URL item
inline constexpr std::string_view kStatus = "status";
inline constexpr std::string_view kCreate = "create";
inline constexpr std::string_view kStart = "start";
inline constexpr std::string_view kFinish = "finish";
inline constexpr std::string_view kModified = "modified";
inline constexpr std::string_view kError = "error";
inline constexpr std::string_view kProcess = "process";
inline constexpr std::string_view kLog = "log";
inline constexpr std::string_view kSpeedFlag = "speedflag";
inline constexpr std::string_view kVirusCheck = "viruscheck";
inline constexpr std::string_view kVirusChecking = "vchecking";
inline constexpr std::string_view kArchived = "archived";
inline constexpr std::string_view kWasIndex = "wasindex";
inline constexpr std::string_view kAutoUpdate = "autoupdate";

// The local file and its byte counts (64-bit)
inline constexpr std::string_view kLocal = "local";
inline constexpr std::string_view kSize = "size";
inline constexpr std::string_view kReceived = "received";
inline constexpr std::string_view kReceivedSession = "receivedsession";
inline constexpr std::string_view kFileSize = "filesize";
inline constexpr std::string_view kResume = "resume";
inline constexpr std::string_view kTransferCode = "transfercode";
// A text-mode file's line ends differ from the source's: the source bytes that
// produced the file so far, and the file's length they produced.
inline constexpr std::string_view kTextSource = "textsource";
inline constexpr std::string_view kTextLength = "textlength";

// Retries
inline constexpr std::string_view kRetryCount = "retrycount";
inline constexpr std::string_view kRetryDelay = "retrydelay";
inline constexpr std::string_view kRetryTimeout = "retrytimeout";
inline constexpr std::string_view kRudeRetries = "ruderetries";

// Parts of a parsed URL and the transfer's bookkeeping of them
inline constexpr std::string_view kProtocol = "protocol";
inline constexpr std::string_view kHostName = "hostname";
inline constexpr std::string_view kHostAddr = "hostaddr";
inline constexpr std::string_view kPort = "port";
inline constexpr std::string_view kOddPort = "oddport";
inline constexpr std::string_view kUserId = "userid";
inline constexpr std::string_view kPassword = "password";
inline constexpr std::string_view kFullPath = "fullpath";
inline constexpr std::string_view kPath = "path";
inline constexpr std::string_view kFile = "file";
inline constexpr std::string_view kExtension = "extension";
inline constexpr std::string_view kIsIndex = "isindex";
inline constexpr std::string_view kAsIndex = "asindex";
inline constexpr std::string_view kLocation = "location";
inline constexpr std::string_view kHttpAuth = "httpauth";

// Logins and host-defaults entries
inline constexpr std::string_view kLogin = "login";
inline constexpr std::string_view kLocalPath = "localpath";
inline constexpr std::string_view kPermanent = "permanent";

// Type entries and the root
inline constexpr std::string_view kPublic = "public";
inline constexpr std::string_view kIcon = "icon";
inline constexpr std::string_view kRunDirectory = "rundirectory";

}  // namespace key

// Settings: properties of the root item.
namespace setting {
// Speed, connections and retries
inline constexpr std::string_view kHighSpeed = "parm-highspeed";
inline constexpr std::string_view kLowSpeed = "parm-lowspeed";
inline constexpr std::string_view kSpeedControl = "parm-speedcontrol";
inline constexpr std::string_view kGoFast = "parm-gofast";
inline constexpr std::string_view kOffline = "parm-offline";
inline constexpr std::string_view kMaxConEnable = "parm-maxconenable";
inline constexpr std::string_view kMaxCons = "parm-maxcons";
inline constexpr std::string_view kRetryShort = "parm-retryshort";
inline constexpr std::string_view kDelLog = "parm-dellog";

// Behaviour of commands, capture and the list
inline constexpr std::string_view kOwnsFiles = "parm-ownsfiles";
inline constexpr std::string_view kHidePasswords = "parm-hidepasswords";
inline constexpr std::string_view kClipAndGo = "parm-clipandgo";
inline constexpr std::string_view kClipStart = "parm-clipstart";
inline constexpr std::string_view kBps = "parm-bps";
inline constexpr std::string_view kShutdownPc = "parm-shutdownpc";

// Tray, extraction, upgrade check and sounds
inline constexpr std::string_view kMinTray = "parm-mintray";
inline constexpr std::string_view kAutoExtract = "parm-autoextract";
inline constexpr std::string_view kCheckNewVersion = "parm-checknewversion";
inline constexpr std::string_view kCheckNewTime = "parm-checknewtime";
// Base URL of the upgrade site; empty means there is none to ask.
inline constexpr std::string_view kUpgradeUrl = "parm-upgradeurl";
inline constexpr std::string_view kSoundOn = "parm-soundon";

// The virus checker
inline constexpr std::string_view kVirusCheck = "parm-virus-check";
inline constexpr std::string_view kVirusProgram = "parm-virus-program";
inline constexpr std::string_view kVirusCommand = "parm-virus-command";
inline constexpr std::string_view kVirusReturns = "parm-virus-returns";
inline constexpr std::string_view kVirusReturnsGood = "parm-virus-returnsgood";
inline constexpr std::string_view kVirusReturnsFail = "parm-virus-returnsfail";
inline constexpr std::string_view kVirusAlert = "parm-virus-alert";

// The main window's placement and column widths, stored at exit
inline constexpr std::string_view kWindowLeft = "parm-windowleft";
inline constexpr std::string_view kWindowTop = "parm-windowtop";
inline constexpr std::string_view kWindowRight = "parm-windowright";
inline constexpr std::string_view kWindowBottom = "parm-windowbottom";
inline constexpr std::string_view kColumn1Width = "parm-c1w";
inline constexpr std::string_view kColumn2Width = "parm-c2w";
inline constexpr std::string_view kColumn3Width = "parm-c3w";

// The time of the first start; its absence marks a first start
inline constexpr std::string_view kFirstStart = "parm-firststart";

// The sort mode of one tab of the download list, tab 0 to 3.
inline std::string TabSort(int tab) {
  return "parm-tabsort-" + std::to_string(tab);
}

}  // namespace setting

// Built-in folders under the root.
namespace folder {
inline constexpr std::string_view kTypeList = "_typelist";
inline constexpr std::string_view kFileList = "_filelist";
inline constexpr std::string_view kFileArchive = "_filearchive";
inline constexpr std::string_view kFileClip = "_fileclip";
inline constexpr std::string_view kFileLog = "_filelog";
inline constexpr std::string_view kSoundConfig = "_soundconfig";
// Per-host download directory, login and password.
inline constexpr std::string_view kHostDefaults = "nkw-defaults";
// File extensions (upper case) that look like text.
inline constexpr std::string_view kFtpText = "nkw-ftptext";
// Content types that look like text.
inline constexpr std::string_view kHttpText = "nkw-httptext";
}  // namespace folder

}  // namespace pellmarsh
