#include "view/settings_values.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "app/speed_control.h"
#include "capture/clipboard_monitor.h"
#include "store/ascii_case.h"
#include "store/keys.h"
#include "store/number_text.h"

namespace pellmarsh {
namespace {

// Each setting once, with the member that holds it while the sheet is open.
template <typename Value>
struct Field {
  PropKey key;
  Value SettingsValues::*member;
};

constexpr Field<bool> kFlags[] = {
    {setting::kSoundOn, &SettingsValues::soundOn},
    {setting::kNotifyOn, &SettingsValues::notifyOn},
    {setting::kDelLog, &SettingsValues::delLog},
    {setting::kOwnsFiles, &SettingsValues::ownsFiles},
    {setting::kRetryShort, &SettingsValues::retryShort},
    {setting::kConvertLineEnds, &SettingsValues::convertLineEnds},
    {setting::kHidePasswords, &SettingsValues::hidePasswords},
    {setting::kClipAndGo, &SettingsValues::clipAndGo},
    {setting::kClipStart, &SettingsValues::clipStart},
    {setting::kQueueLinks, &SettingsValues::queueLinks},
    {setting::kMaxConEnable, &SettingsValues::maxConEnable},
    {setting::kBps, &SettingsValues::bytesPerSecond},
    {setting::kShutdownPc, &SettingsValues::shutdownPc},
    {setting::kKeepAwake, &SettingsValues::keepAwake},
    {setting::kDownloadMetered, &SettingsValues::downloadMetered},
    {setting::kMinTray, &SettingsValues::minTray},
    {setting::kAutoExtract, &SettingsValues::autoExtract},
    {setting::kCheckNewVersion, &SettingsValues::checkNewVersion},
    {setting::kWeekPlanOn, &SettingsValues::weekPlanOn},
};
constexpr Field<int> kIntegers[] = {
    {setting::kSpeedControl, &SettingsValues::speedControl},
    {setting::kConnectionsPerDownload, &SettingsValues::connectionsPerDownload},
    {setting::kConnectionsPerServer, &SettingsValues::connectionsPerServer},
    {setting::kVirusCheck, &SettingsValues::virusCheck},
    {setting::kVirusAlert, &SettingsValues::virusAlert},
    {setting::kFtpMode, &SettingsValues::ftpMode},
    {setting::kProxyMode, &SettingsValues::proxyMode},
    {setting::kClipWatch, &SettingsValues::clipWatch},
};
constexpr Field<double> kReals[] = {
    {setting::kHighSpeed, &SettingsValues::highSpeed},
    {setting::kLowSpeed, &SettingsValues::lowSpeed},
};
constexpr Field<std::string> kTexts[] = {
    {setting::kVirusProgram, &SettingsValues::virusProgram},
    {setting::kVirusCommand, &SettingsValues::virusCommand},
    {setting::kVirusReturnsGood, &SettingsValues::virusReturnsGood},
    {setting::kVirusReturns, &SettingsValues::virusReturns},
    {setting::kVirusReturnsFail, &SettingsValues::virusReturnsFail},
    {setting::kUpgradeUrl, &SettingsValues::upgradeUrl},
    {setting::kRunAfter, &SettingsValues::runAfter},
    {setting::kProxy, &SettingsValues::proxy},
    {setting::kClipFileTypes, &SettingsValues::clipFileTypes},
    {setting::kWeekPlan, &SettingsValues::weekPlan},
};

constexpr int kBytesPerKilobyte = 1000;

double HeldToBudget(double kilobytesPerMinute) {
  if (!(kilobytesPerMinute > 0)) {
    return 0;
  }
  return std::min(kilobytesPerMinute, kHighestSpeedLimit);
}

std::string Joined(const std::vector<std::string>& types) {
  std::string list;
  for (const std::string& type : types) {
    list += (list.empty() ? "" : " ") + type;
  }
  return list;
}

}  // namespace

SettingsValues ReadSettings(const Item& root) {
  SettingsValues values;
  for (const auto& [key, member] : kFlags) {
    values.*member = root.GetPropInt(key) != 0;
  }
  for (const auto& [key, member] : kIntegers) {
    values.*member = root.GetPropInt(key);
  }
  for (const auto& [key, member] : kReals) {
    values.*member = root.GetPropDouble(key);
  }
  for (const auto& [key, member] : kTexts) {
    values.*member = root.GetProp(key);
  }
  values.maxCons = FormatInteger(root.GetPropInt(setting::kMaxCons));
  return values;
}

void WriteSettings(Item& root, const SettingsValues& values) {
  for (const auto& [key, member] : kFlags) {
    root.SetPropInt(key, values.*member ? 1 : 0);
  }
  for (const auto& [key, member] : kIntegers) {
    root.SetPropInt(key, values.*member);
  }
  for (const auto& [key, member] : kReals) {
    root.SetPropDouble(key, values.*member);
  }
  for (const auto& [key, member] : kTexts) {
    root.SetProp(key, values.*member);
  }
  root.SetPropInt(setting::kMaxCons, ConnectionLimit(values.maxCons));
}

int32_t ConnectionLimit(std::string_view text) {
  const int64_t limit = ParseLeadingInteger(text);
  return static_cast<int32_t>(std::clamp<int64_t>(limit, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

std::string SpeedBoxText(double kilobytesPerMinute, bool bytesPerSecond, SpeedLimitBox box) {
  const double limit = HeldToBudget(kilobytesPerMinute);
  if (limit == 0 && box == SpeedLimitBox::kFullSpeed) {
    return "";
  }
  if (bytesPerSecond) {
    return FormatInteger(BudgetForLimit(limit) / kBytesPerKilobyte);
  }
  return FormatInteger(static_cast<int64_t>(limit));
}

double SpeedFromBox(int32_t typed, bool bytesPerSecond) {
  // Exact in binary: a whole number of kB/s is a multiple of 1/1024 kilobytes
  // per minute, so the budget comes back as the bytes typed.
  return HeldToBudget(bytesPerSecond ? typed * (kBytesPerKilobyte * 60 / 1024.0) : typed);
}

std::optional<double> SpeedBoxLimit(std::string_view shown, std::string_view text, double stored,
                                    bool bytesPerSecond, SpeedLimitBox box) {
  if (text == shown) {
    return stored;
  }
  if (box == SpeedLimitBox::kFullSpeed && text.find_first_not_of(" \t") == std::string_view::npos) {
    return 0.0;
  }
  const std::optional<int32_t> typed = ParseIntegerEntry(text);
  if (!typed) {
    return std::nullopt;
  }
  return SpeedFromBox(*typed, bytesPerSecond);
}

std::optional<int32_t> ParseIntegerEntry(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  size_t digits = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (digits == text.size()) {
    return std::nullopt;
  }
  for (size_t i = digits; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return std::nullopt;
    }
  }
  const int64_t value = ParseLeadingInteger(text);
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(value);
}

std::string_view SpeedUnitText(bool bytesPerSecond) {
  return bytesPerSecond ? "kB/s" : "kilobytes per minute";
}

std::string_view SpeedSampleText(bool bytesPerSecond) {
  return bytesPerSecond
             ? "Sample figure:  500 kB/s is a tenth of a 40 Mbit/s broadband line."
             : "Sample figure:  30000 KPM is about a tenth of a 40 Mbit/s broadband line.";
}

std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

std::vector<FolderEntry> SortedEntries(const Item& folder, PropKey shownKey) {
  // Each entry's sort key is made once, not at every comparison.
  std::vector<std::pair<std::string, FolderEntry>> keyed;
  for (int index = 0; index < folder.ChildCount(); ++index) {
    Item* child = folder.ChildAt(index);
    std::string text = child->GetProp(shownKey);
    keyed.push_back({AsciiLower(text), {std::move(text), child}});
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<FolderEntry> entries;
  entries.reserve(keyed.size());
  for (auto& [key, entry] : keyed) {
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool StillChildOf(const Item& folder, const Item* item) {
  return item && folder.IndexOfChild(item) >= 0;
}

TextTypeAdd AddTextType(Item& folder, std::string_view typed, TextTypeKind kind) {
  const std::string name = kind == TextTypeKind::kExtension ? AsciiUpper(typed) : AsciiLower(typed);
  // A nameless entry would only ever match an absent extension or type.
  if (name.empty()) {
    return TextTypeAdd::kEmpty;
  }
  if (folder.FindChild(name)) {
    return TextTypeAdd::kAlreadyListed;
  }
  auto entry = std::make_unique<Item>();
  entry->SetProp(key::kName, name);
  folder.AddChild(std::move(entry));
  return TextTypeAdd::kAdded;
}

TextTypeAdd AddFileType(std::string& list, std::string_view typed) {
  std::vector<std::string> types = FileTypesOf(list);
  const std::vector<std::string> added = FileTypesOf(typed.substr(typed.starts_with('.') ? 1 : 0));
  if (added.size() != 1) {
    return TextTypeAdd::kEmpty;
  }
  if (std::find(types.begin(), types.end(), added.front()) != types.end()) {
    return TextTypeAdd::kAlreadyListed;
  }
  types.push_back(added.front());
  list = Joined(types);
  return TextTypeAdd::kAdded;
}

void RemoveFileType(std::string& list, std::string_view type) {
  std::vector<std::string> types = FileTypesOf(list);
  std::erase(types, AsciiLower(type));
  list = Joined(types);
}

std::string_view AlreadyListedText(TextTypeKind kind) {
  return kind == TextTypeKind::kExtension ? "That extension is already in the list."
                                          : "That mime type is already in the list.";
}

}  // namespace pellmarsh
